#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vozi::platform {

// Unicode operations on UTF-8 text that byte-wise code gets wrong. Bytes that
// are not valid UTF-8 (a file name from a foreign volume, say) are kept as
// they are wherever the operation allows it.
class Unicode {
 public:
  // The byte offsets at which each user-perceived character (extended
  // grapheme cluster) starts, in order; empty for empty text. A letter with
  // its combining marks, a flag or an emoji sequence counts once.
  static std::vector<std::size_t> characterBoundaries(std::string_view text);
  // The number of user-perceived characters.
  static std::size_t characterCount(std::string_view text);
  // Lower case, code point by code point (the simple case mapping); invalid
  // bytes are copied unchanged.
  static std::string lowercased(std::string_view text);
  // The text with every ill-formed sequence replaced by U+FFFD.
  static std::string repairedUTF8(std::string_view text);
};

}  // namespace vozi::platform
