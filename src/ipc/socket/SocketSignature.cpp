#include "ipc/socket/SocketSignature.h"

#include <cstddef>
#include <cstring>

namespace vozi {

namespace {

using C = SocketConstants;

SocketError badParameters(const char* text) { return SocketError(C::SOCKET_ERR_BAD_SIGNATURE_PARAMETERS, text); }

constexpr const char* kStreamText = "Stream socket must use either .tcp or .unix for the protocol.";
constexpr const char* kDatagramText = "Datagram socket must use .udp or .unix for the protocol.";

std::optional<SocketError> checkPairing(SocketType type, SocketProtocol proto) {
  if (type == SocketType::stream && proto != SocketProtocol::tcp && proto != SocketProtocol::unix)
    return badParameters(kStreamText);
  if (type == SocketType::datagram && proto != SocketProtocol::udp && proto != SocketProtocol::unix)
    return badParameters(kDatagramText);
  return std::nullopt;
}

std::string quotedOptional(const std::optional<std::string>& text) {
  return text ? "Optional(\"" + *text + "\")" : "nil";
}

}  // namespace

std::optional<SocketError> SocketSignature::checkTypeAndProtocol(SocketType type, SocketProtocol proto) {
  return checkPairing(type, proto);
}

SocketResult<SocketSignature> SocketSignature::create(SocketProtocolFamily family, SocketType type,
                                                      SocketProtocol proto, std::optional<std::string> hostname,
                                                      std::optional<std::int32_t> port) {
  if (!hostname || !port || family == SocketProtocolFamily::unix)
    return badParameters("Missing hostname, port or both or invalid protocol family.");
  if (auto error = checkPairing(type, proto)) return *error;
  SocketSignature signature;
  signature.protocolFamily = family;
  signature.socketType = type;
  signature.proto = proto;
  signature.hostname = std::move(hostname);
  signature.port = *port;
  return signature;
}

SocketResult<SocketSignature> SocketSignature::create(SocketType type, SocketProtocol proto,
                                                      std::optional<std::string> path) {
  if (!path || path->empty()) return badParameters("Missing pathname.");
  if (auto error = checkPairing(type, proto)) return *error;
  if (static_cast<long>(path->size()) > C::SOCKET_MAXIMUM_PATH_LENGTH)
    return badParameters("Pathname supplied is too long.");
  // The system would cut the path at a zero byte and bind (or later remove)
  // another file than the one named.
  if (path->find('\0') != std::string::npos) return badParameters("Pathname contains a zero byte.");

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path->data(), path->size());

  SocketSignature signature;
  signature.protocolFamily = SocketProtocolFamily::unix;
  signature.socketType = type;
  signature.proto = proto;
  signature.path = std::move(path);
  signature.address = SocketAddress::unix(address);
  return signature;
}

SocketResult<SocketSignature> SocketSignature::fromPlatformValues(int family, int type, int proto,
                                                                  std::optional<SocketAddress> address) {
  const auto f = protocolFamilyFromPlatformValue(family);
  const auto t = socketTypeFromPlatformValue(type);
  const auto p = socketProtocolFromPlatformValue(proto);
  if (!f || !t || !p) return badParameters("Bad family, type or protocol passed.");
  if (auto error = checkPairing(*t, *p)) return *error;
  SocketSignature signature;
  signature.protocolFamily = *f;
  signature.socketType = *t;
  signature.proto = *p;
  signature.address = std::move(address);
  return signature;
}

SocketResult<SocketSignature> SocketSignature::fromPlatformValues(int family, int type, int proto,
                                                                  std::optional<SocketAddress> address,
                                                                  std::optional<std::string> hostname,
                                                                  std::optional<std::int32_t> port) {
  const auto f = protocolFamilyFromPlatformValue(family);
  const auto t = socketTypeFromPlatformValue(type);
  const auto p = socketProtocolFromPlatformValue(proto);
  if (!f || !t || !p || !hostname || !port) return badParameters("Incomplete parameters.");
  if (*t == SocketType::stream && *p != SocketProtocol::tcp && *p != SocketProtocol::unix)
    return badParameters(kStreamText);
  if (*t == SocketType::datagram && *p != SocketProtocol::udp)
    return badParameters("Datagram socket must use .udp for the protocol.");
  SocketSignature signature;
  signature.protocolFamily = *f;
  signature.socketType = *t;
  signature.proto = *p;
  signature.address = std::move(address);
  signature.hostname = std::move(hostname);
  signature.port = *port;
  return signature;
}

SocketResult<SocketSignature::UnixAddress> SocketSignature::unixAddress() const {
  if (!path || path->empty()) return badParameters("Specified path contains zero (0) bytes.");
  if (path->find('\0') != std::string::npos) return badParameters("Pathname contains a zero byte.");
  if (path->size() >= sizeof(sockaddr_un::sun_path)) return badParameters("Pathname supplied is too long.");
  UnixAddress result;
  result.address.sun_family = AF_UNIX;
  std::memcpy(result.address.sun_path, path->data(), path->size());
  result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path->size() + 1);
  return result;
}

std::string SocketSignature::description() const {
  return std::string("Signature: family: ") + std::string(name(protocolFamily)) +
         ", type: " + std::string(name(socketType)) + ", protocol: " + std::string(name(proto)) +
         ", address: " + (address ? "Optional(" + address->description() + ")" : std::string("nil")) +
         ", hostname: " + quotedOptional(hostname) + ", port: " + std::to_string(port) +
         ", path: " + quotedOptional(path) + ", bound: " + (isBound ? "true" : "false") +
         ", secure: " + (isSecure ? "true" : "false");
}

}  // namespace vozi
