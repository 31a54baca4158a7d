#include "platform/Unicode.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>

#include "platform/Utf8.h"

namespace vozi::platform {

namespace {

struct BreakIteratorCloser {
  void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};
struct TextCloser {
  void operator()(UText* text) const { utext_close(text); }
};


}  // namespace

std::vector<std::size_t> Unicode::characterBoundaries(std::string_view text) {
  std::vector<std::size_t> starts;
  if (text.empty()) return starts;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, TextCloser> utext(
      utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
  std::unique_ptr<UBreakIterator, BreakIteratorCloser> iterator(
      U_SUCCESS(status) ? ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status) : nullptr);
  if (U_SUCCESS(status) && iterator) ubrk_setUText(iterator.get(), utext.get(), &status);
  if (U_FAILURE(status) || !iterator) {
    // Without the break rules, fall back to one character per code point.
    for (std::size_t i = 0; i < text.size(); ++i)
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    if (starts.empty() || starts.front() != 0) starts.insert(starts.begin(), 0);
    return starts;
  }
  for (int32_t position = ubrk_first(iterator.get()); position != UBRK_DONE;
       position = ubrk_next(iterator.get())) {
    if (static_cast<std::size_t>(position) < text.size()) starts.push_back(static_cast<std::size_t>(position));
  }
  return starts;
}

std::size_t Unicode::characterCount(std::string_view text) { return characterBoundaries(text).size(); }

std::string Unicode::lowercased(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < length) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      out.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
    } else {
      Utf8::append(out, static_cast<char32_t>(u_tolower(c)));
    }
  }
  return out;
}

std::string Unicode::repairedUTF8(std::string_view text) {
  if (Utf8::isValid(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < length) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0)
      out.append("\xEF\xBF\xBD");
    else
      out.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
  }
  return out;
}

}  // namespace vozi::platform
