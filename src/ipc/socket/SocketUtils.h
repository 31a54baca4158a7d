#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <string>
#include <string_view>

namespace vozi {

// Small helpers the socket layer shares: reading one system address record
// as another (a copy of the leading bytes), and text checks.
struct SocketUtils {
  static sockaddr asSockaddr(const sockaddr_storage& storage);
  static sockaddr_in asSockaddrIn(const sockaddr_storage& storage);
  static sockaddr_in6 asSockaddrIn6(const sockaddr_storage& storage);
  static sockaddr_un asSockaddrUn(const sockaddr_storage& storage);
  static sockaddr asSockaddr(const sockaddr_in& address);
  static sockaddr asSockaddr(const sockaddr_in6& address);
  static sockaddr asSockaddr(const sockaddr_un& address);

  static bool isValidUTF8(std::string_view text);
  // The system's text for an errno value; "Error: <errno>" when that text is
  // not valid UTF-8.
  static std::string errorText(int error);
};

}  // namespace vozi
