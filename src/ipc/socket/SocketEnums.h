#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Under GNU dialects "unix" is a predefined macro; the case names below need
// the plain word.
#ifdef unix
#undef unix
#endif

namespace vozi {

// The three kinds a socket is made of. Each converts to the value the socket
// call takes (the system's own constants) and back.
enum class SocketProtocolFamily { inet, inet6, unix };
enum class SocketType { stream, datagram };
// The raw value is the case's position.
enum class SocketProtocol : std::int32_t { tcp = 0, udp = 1, unix = 2 };

int platformValue(SocketProtocolFamily family);
int platformValue(SocketType type);
int platformValue(SocketProtocol proto);

std::optional<SocketProtocolFamily> protocolFamilyFromPlatformValue(int value);
std::optional<SocketType> socketTypeFromPlatformValue(int value);
std::optional<SocketProtocol> socketProtocolFromPlatformValue(int value);

std::int32_t rawValue(SocketProtocol proto);
std::optional<SocketProtocol> socketProtocolFromRawValue(std::int32_t raw);

// The case names, for logs: "inet", "stream", "tcp", ...
std::string_view name(SocketProtocolFamily family);
std::string_view name(SocketType type);
std::string_view name(SocketProtocol proto);

}  // namespace vozi
