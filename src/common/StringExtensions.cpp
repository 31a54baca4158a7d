#include "common/StringExtensions.h"

#include "platform/Unicode.h"

namespace vozi {

std::vector<std::string> chunks(std::string_view text, std::ptrdiff_t length) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  if (length <= 0) {
    pieces.emplace_back(text);
    return pieces;
  }
  const std::vector<std::size_t> starts = platform::Unicode::characterBoundaries(text);
  const auto step = static_cast<std::size_t>(length);
  for (std::size_t first = 0; first < starts.size(); first += step) {
    const std::size_t begin = starts[first];
    const std::size_t end = first + step < starts.size() ? starts[first + step] : text.size();
    pieces.emplace_back(text.substr(begin, end - begin));
  }
  return pieces;
}

std::string bracketedList(const std::vector<std::string>& items) {
  std::string text = "[";
  for (std::size_t index = 0; index < items.size(); ++index) {
    if (index > 0) text += ", ";
    text += items[index];
  }
  return text + "]";
}

std::string asciiLowercased(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace vozi
