#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <optional>
#include <string>

#include "ipc/socket/SocketAddress.h"
#include "ipc/socket/SocketConstants.h"
#include "ipc/socket/SocketEnums.h"
#include "ipc/socket/SocketResult.h"

namespace vozi {

// What a socket is and where it points: its family, type and protocol, and
// the host name, port, path and address of its peer (or of itself while it
// listens).
struct SocketSignature {
  SocketProtocolFamily protocolFamily = SocketProtocolFamily::inet;
  SocketType socketType = SocketType::stream;
  SocketProtocol proto = SocketProtocol::tcp;
  std::optional<std::string> hostname = std::string(SocketConstants::NO_HOSTNAME);
  std::int32_t port = SocketConstants::SOCKET_INVALID_PORT;
  // Only for Unix-domain signatures.
  std::optional<std::string> path;
  std::optional<SocketAddress> address;
  // True once a secure-layer delegate has taken over the connection.
  bool isSecure = false;
  // True once the socket is bound to a local address.
  bool isBound = false;

  // A network signature. Fails (SOCKET_ERR_BAD_SIGNATURE_PARAMETERS) without
  // a host name or a port, for the unix family, and for a type and protocol
  // that do not go together.
  static SocketResult<SocketSignature> create(SocketProtocolFamily family, SocketType type, SocketProtocol proto,
                                              std::optional<std::string> hostname,
                                              std::optional<std::int32_t> port);
  // A Unix-domain signature of a path of at most 103 UTF-8 bytes, with its
  // unix address.
  static SocketResult<SocketSignature> create(SocketType type, SocketProtocol proto, std::optional<std::string> path);
  // From the system's values, as a socket is created or adopted.
  static SocketResult<SocketSignature> fromPlatformValues(int family, int type, int proto,
                                                          std::optional<SocketAddress> address);
  // From the system's values after a connect by host name; a datagram
  // signature needs the udp protocol here.
  static SocketResult<SocketSignature> fromPlatformValues(int family, int type, int proto,
                                                          std::optional<SocketAddress> address,
                                                          std::optional<std::string> hostname,
                                                          std::optional<std::int32_t> port);

  // The pairing every signature checks: a stream carries tcp or unix, a
  // datagram udp or unix (SOCKET_ERR_BAD_SIGNATURE_PARAMETERS otherwise).
  static std::optional<SocketError> checkTypeAndProtocol(SocketType type, SocketProtocol proto);

  // The address bound or connected to for the path: the family, the path's
  // bytes and a terminating zero, `length` bytes in all (path bytes + 3).
  struct UnixAddress {
    sockaddr_un address{};
    socklen_t length = 0;
  };
  SocketResult<UnixAddress> unixAddress() const;

  // For logs: "Signature: family: unix, type: stream, protocol: unix,
  // address: ..., hostname: ..., port: 0, path: ..., bound: false, secure: false".
  std::string description() const;
};

}  // namespace vozi
