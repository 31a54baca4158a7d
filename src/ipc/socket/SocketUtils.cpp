#include "ipc/socket/SocketUtils.h"

#include <cstring>

namespace vozi {

namespace {

template <class To, class From>
To leading(const From& from) {
  static_assert(sizeof(To) <= sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

// strerror_r comes in two shapes (XSI returns int, GNU returns the text);
// both are handled without caring which the library chose.
[[maybe_unused]] std::string strerrorResult(int rc, const char* buffer) {
  return rc == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] std::string strerrorResult(const char* text, const char*) { return text ? text : ""; }

}  // namespace

sockaddr SocketUtils::asSockaddr(const sockaddr_storage& storage) { return leading<sockaddr>(storage); }
sockaddr_in SocketUtils::asSockaddrIn(const sockaddr_storage& storage) { return leading<sockaddr_in>(storage); }
sockaddr_in6 SocketUtils::asSockaddrIn6(const sockaddr_storage& storage) { return leading<sockaddr_in6>(storage); }
sockaddr_un SocketUtils::asSockaddrUn(const sockaddr_storage& storage) { return leading<sockaddr_un>(storage); }
sockaddr SocketUtils::asSockaddr(const sockaddr_in& address) { return leading<sockaddr>(address); }
sockaddr SocketUtils::asSockaddr(const sockaddr_in6& address) { return leading<sockaddr>(address); }
sockaddr SocketUtils::asSockaddr(const sockaddr_un& address) { return leading<sockaddr>(address); }

bool SocketUtils::isValidUTF8(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra;
    char32_t code;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= n) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      code = (code << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) ||
        (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
      return false;
    i += extra + 1;
  }
  return true;
}

std::string SocketUtils::errorText(int error) {
  char buffer[256] = {};
  std::string text = strerrorResult(::strerror_r(error, buffer, sizeof buffer), buffer);
  if (text.empty() || !isValidUTF8(text)) return "Error: " + std::to_string(error);
  return text;
}

}  // namespace vozi
