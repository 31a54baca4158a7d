#pragma once

#include <cstddef>
#include <cstdint>

#include "ipc/socket/SSLError.h"
#include "ipc/socket/SocketResult.h"

namespace vozi {

class Socket;

// The hooks of a secure layer that takes over a socket's traffic. A hook
// reports anything but a plain outcome as an SSLError: fail (surfaces as a
// SocketError with the hook's code and text), success (call again at once)
// or retryNeeded (call again once the descriptor is ready).
class SSLServiceDelegate {
 public:
  virtual ~SSLServiceDelegate() = default;

  // asServer: true when listening on a port, false before connecting.
  virtual SocketResult<void, SSLError> setUp(bool asServer) = 0;
  // When the socket closes.
  virtual void tearDown() = 0;
  virtual SocketResult<void, SSLError> didAccept(Socket& socket) = 0;
  virtual SocketResult<void, SSLError> didConnect(Socket& socket) = 0;
  // Counts are treated as the results of send and recv: 0 or less is judged
  // by errno.
  virtual SocketResult<long, SSLError> secureSend(const std::uint8_t* buffer, std::size_t bufSize) = 0;
  virtual SocketResult<long, SSLError> secureReceive(std::uint8_t* buffer, std::size_t bufSize) = 0;
};

}  // namespace vozi
