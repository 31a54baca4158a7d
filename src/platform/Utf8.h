#pragma once

#include <string_view>

namespace vozi::platform {

// UTF-8 well-formedness as the Unicode standard defines it: no overlong
// forms, no surrogates, nothing above U+10FFFF, no truncated sequences.
struct Utf8 {
  static bool isValid(std::string_view text);
};

}  // namespace vozi::platform
