#pragma once

#include <string>
#include <string_view>

namespace vozi::platform {

// UTF-8 well-formedness as the Unicode standard defines it: no overlong
// forms, no surrogates, nothing above U+10FFFF, no truncated sequences.
struct Utf8 {
  static bool isValid(std::string_view text);
  // Appends the code point's UTF-8 form; a surrogate or a value above
  // U+10FFFF is appended as U+FFFD, so the text stays well formed.
  static void append(std::string& out, char32_t c);
};

}  // namespace vozi::platform
