#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace vozi::platform {

// The standard base64 alphabet ("+/", "=" padding), as property lists and
// JSON documents carry binary data. Pure functions, callable from any queue.
struct Base64 {
  // Padded, on one line.
  static std::string encode(const Data& data);
  // Groups of four symbols, the last one or two of a group possibly "=";
  // whitespace (space, tab, CR, LF) may appear anywhere and padded groups
  // may follow one another, as writers that join encoded pieces produce.
  // Nothing for any other symbol, a symbol after "=" within a group, or an
  // incomplete final group.
  static std::optional<Data> decode(std::string_view text);
};

}  // namespace vozi::platform
