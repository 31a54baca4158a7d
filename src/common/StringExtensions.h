#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vozi {

// The text cut into consecutive pieces of `length` user-perceived characters
// (the last piece may be shorter). Empty text gives no pieces; a count that is
// an exact multiple of the length gives no empty trailing piece. A length of
// zero or below cannot cut anything: the whole text comes back as one piece.
std::vector<std::string> chunks(std::string_view text, std::ptrdiff_t length);

// The items as "[a, b, c]", "[]" when there are none: how lists of paths are
// written in log lines.
std::string bracketedList(const std::vector<std::string>& items);

// The text with A-Z turned to a-z and every other byte kept: identifiers,
// extensions and codes compare this way.
std::string asciiLowercased(std::string_view text);

}  // namespace vozi
