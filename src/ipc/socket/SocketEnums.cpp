#include "ipc/socket/SocketEnums.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace vozi {

int platformValue(SocketProtocolFamily family) {
  switch (family) {
    case SocketProtocolFamily::inet: return AF_INET;
    case SocketProtocolFamily::inet6: return AF_INET6;
    case SocketProtocolFamily::unix: return AF_UNIX;
  }
  return AF_UNSPEC;
}

int platformValue(SocketType type) { return type == SocketType::stream ? SOCK_STREAM : SOCK_DGRAM; }

int platformValue(SocketProtocol proto) {
  switch (proto) {
    case SocketProtocol::tcp: return IPPROTO_TCP;
    case SocketProtocol::udp: return IPPROTO_UDP;
    case SocketProtocol::unix: return 0;
  }
  return 0;
}

std::optional<SocketProtocolFamily> protocolFamilyFromPlatformValue(int value) {
  switch (value) {
    case AF_INET: return SocketProtocolFamily::inet;
    case AF_INET6: return SocketProtocolFamily::inet6;
    case AF_UNIX: return SocketProtocolFamily::unix;
    default: return std::nullopt;
  }
}

std::optional<SocketType> socketTypeFromPlatformValue(int value) {
  switch (value) {
    case SOCK_STREAM: return SocketType::stream;
    case SOCK_DGRAM: return SocketType::datagram;
    default: return std::nullopt;
  }
}

std::optional<SocketProtocol> socketProtocolFromPlatformValue(int value) {
  switch (value) {
    case IPPROTO_TCP: return SocketProtocol::tcp;
    case IPPROTO_UDP: return SocketProtocol::udp;
    case 0: return SocketProtocol::unix;
    default: return std::nullopt;
  }
}

std::int32_t rawValue(SocketProtocol proto) { return static_cast<std::int32_t>(proto); }

std::optional<SocketProtocol> socketProtocolFromRawValue(std::int32_t raw) {
  if (raw < 0 || raw > 2) return std::nullopt;
  return static_cast<SocketProtocol>(raw);
}

std::string_view name(SocketProtocolFamily family) {
  switch (family) {
    case SocketProtocolFamily::inet: return "inet";
    case SocketProtocolFamily::inet6: return "inet6";
    case SocketProtocolFamily::unix: return "unix";
  }
  return "";
}

std::string_view name(SocketType type) { return type == SocketType::stream ? "stream" : "datagram"; }

std::string_view name(SocketProtocol proto) {
  switch (proto) {
    case SocketProtocol::tcp: return "tcp";
    case SocketProtocol::udp: return "udp";
    case SocketProtocol::unix: return "unix";
  }
  return "";
}

}  // namespace vozi
