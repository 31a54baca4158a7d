#include "ipc/socket/SocketUtils.h"

#include <cstring>

#include "platform/PosixError.h"
#include "platform/Utf8.h"

namespace vozi {

namespace {

template <class To, class From>
To leading(const From& from) {
  static_assert(sizeof(To) <= sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

}  // namespace

sockaddr SocketUtils::asSockaddr(const sockaddr_storage& storage) { return leading<sockaddr>(storage); }
sockaddr_in SocketUtils::asSockaddrIn(const sockaddr_storage& storage) { return leading<sockaddr_in>(storage); }
sockaddr_in6 SocketUtils::asSockaddrIn6(const sockaddr_storage& storage) { return leading<sockaddr_in6>(storage); }
sockaddr_un SocketUtils::asSockaddrUn(const sockaddr_storage& storage) { return leading<sockaddr_un>(storage); }
sockaddr SocketUtils::asSockaddr(const sockaddr_in& address) { return leading<sockaddr>(address); }
sockaddr SocketUtils::asSockaddr(const sockaddr_in6& address) { return leading<sockaddr>(address); }
sockaddr SocketUtils::asSockaddr(const sockaddr_un& address) { return leading<sockaddr>(address); }

bool SocketUtils::isValidUTF8(std::string_view text) { return platform::Utf8::isValid(text); }

std::string SocketUtils::errorText(int error) {
  std::string text = platform::PosixError::description(error);
  if (text.empty() || !isValidUTF8(text)) return "Error: " + std::to_string(error);
  return text;
}

}  // namespace vozi
