#include "ipc/socket/SocketError.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace vozi {

namespace {

std::int32_t narrow(long value) {
  return static_cast<std::int32_t>(std::clamp<long>(value, std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

SocketError::SocketError(long code, std::optional<std::string> reason)
    : errorCode(narrow(code)), errorReason(std::move(reason)) {}

SocketError::SocketError(const SSLError& error) : errorCode(narrow(error.code())), errorReason(error.description()) {}

SocketError SocketError::bufferTooSmall(long bufferSizeNeeded) {
  SocketError error(SocketConstants::SOCKET_ERR_RECV_BUFFER_TOO_SMALL);
  error.bufferSizeNeeded = narrow(bufferSizeNeeded);
  return error;
}

std::string SocketError::description() const {
  // The hexadecimal form is of the signed value: a minus sign after "0x".
  const long long code = errorCode;
  char hex[32];
  std::snprintf(hex, sizeof hex, "%s%llX", code < 0 ? "-" : "", code < 0 ? -code : code);
  return "Error code: " + std::to_string(errorCode) + "(0x" + hex + "), " +
         (errorReason ? *errorReason : std::string("Reason: Unavailable"));
}

platform::Error SocketError::platformError() const { return platform::Error("VOZi.Socket.Error", 1); }

}  // namespace vozi
