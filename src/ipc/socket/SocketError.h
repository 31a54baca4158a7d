#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ipc/socket/SSLError.h"
#include "ipc/socket/SocketConstants.h"
#include "platform/Error.h"

namespace vozi {

// The one failure value of the socket layer: a code of the SOCKET_ERR_*
// table (or of a secure-layer hook) and, for failed system calls and fixed
// checks, a reason text.
struct SocketError {
  std::string domain{SocketConstants::SOCKET_ERR_DOMAIN};
  std::int32_t errorCode = 0;
  std::optional<std::string> errorReason;
  // Only for SOCKET_ERR_RECV_BUFFER_TOO_SMALL: how many bytes the caller's
  // buffer must take.
  std::int32_t bufferSizeNeeded = 0;

  // Codes and sizes outside 32 bits are clamped to the nearest 32-bit value.
  explicit SocketError(long code, std::optional<std::string> reason = std::nullopt);
  explicit SocketError(const SSLError& error);
  static SocketError bufferTooSmall(long bufferSizeNeeded);

  // "Error code: -9999(0x-270F), Reason: Unavailable" or, with a reason,
  // "Error code: <code>(0x<hex>), <reason>".
  std::string description() const;

  // The platform error this value becomes when it leaves the socket layer as
  // a generic error: domain "VOZi.Socket.Error", code 1.
  platform::Error platformError() const;

  friend bool operator==(const SocketError&, const SocketError&) = default;
};

}  // namespace vozi
