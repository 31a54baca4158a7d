#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <optional>
#include <string>
#include <variant>

#include "ipc/socket/SocketEnums.h"

namespace vozi {

// A socket address of one of the three families the layer speaks, holding
// the system's own record so that it can be handed to bind, connect and
// sendto as it is.
class SocketAddress {
 public:
  enum class Kind { ipv4, ipv6, unix };

  static SocketAddress ipv4(const sockaddr_in& address);
  static SocketAddress ipv6(const sockaddr_in6& address);
  static SocketAddress unix(const sockaddr_un& address);

  Kind kind() const { return static_cast<Kind>(payload_.index()); }
  // The byte length handed to bind, connect and sendto: the size of the
  // record of the kind.
  socklen_t size() const;
  const sockaddr* platformAddress() const;
  // The first bytes read as a generic sockaddr; serves to read the family.
  sockaddr addr() const;
  int family() const { return addr().sa_family; }

  // The record of the kind; null for another kind.
  const sockaddr_in* asIPv4() const { return std::get_if<sockaddr_in>(&payload_); }
  const sockaddr_in6* asIPv6() const { return std::get_if<sockaddr_in6>(&payload_); }
  const sockaddr_un* asUnix() const { return std::get_if<sockaddr_un>(&payload_); }

  // For logs: ipv4(127.0.0.1:80), ipv6([::1]:80), unix("/path").
  std::string description() const;

  friend bool operator==(const SocketAddress& a, const SocketAddress& b);

 private:
  template <class T>
  explicit SocketAddress(const T& record) : payload_(record) {}

  std::variant<sockaddr_in, sockaddr_in6, sockaddr_un> payload_;
};

}  // namespace vozi
