#include "ipc/socket/SocketAddress.h"

#include <arpa/inet.h>

#include <cstring>

namespace vozi {

SocketAddress SocketAddress::ipv4(const sockaddr_in& address) { return SocketAddress(address); }
SocketAddress SocketAddress::ipv6(const sockaddr_in6& address) { return SocketAddress(address); }
SocketAddress SocketAddress::unix(const sockaddr_un& address) { return SocketAddress(address); }

socklen_t SocketAddress::size() const {
  return std::visit([](const auto& record) { return static_cast<socklen_t>(sizeof record); }, payload_);
}

const sockaddr* SocketAddress::platformAddress() const {
  return std::visit([](const auto& record) { return reinterpret_cast<const sockaddr*>(&record); }, payload_);
}

sockaddr SocketAddress::addr() const {
  sockaddr generic{};
  std::memcpy(&generic, platformAddress(), sizeof generic);
  return generic;
}

std::string SocketAddress::description() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (const auto* in = asIPv4()) {
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    return std::string("ipv4(") + text + ":" + std::to_string(ntohs(in->sin_port)) + ")";
  }
  if (const auto* in6 = asIPv6()) {
    ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    return std::string("ipv6([") + text + "]:" + std::to_string(ntohs(in6->sin6_port)) + ")";
  }
  const auto* un = asUnix();
  return "unix(\"" + std::string(un->sun_path, ::strnlen(un->sun_path, sizeof un->sun_path)) + "\")";
}

bool operator==(const SocketAddress& a, const SocketAddress& b) {
  return a.kind() == b.kind() && std::memcmp(a.platformAddress(), b.platformAddress(), a.size()) == 0;
}

}  // namespace vozi
