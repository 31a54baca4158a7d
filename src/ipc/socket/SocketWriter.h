#pragma once

#include <cstddef>
#include <string_view>

#include "ipc/socket/SocketResult.h"
#include "platform/Value.h"

namespace vozi {

// The writes a connected stream socket offers. Each sends all of its bytes
// or fails (a non-blocking socket may return fewer).
class SocketWriter {
 public:
  virtual ~SocketWriter() = default;
  // Empty data returns 0 without any check.
  virtual SocketResult<std::size_t> write(const platform::Data& data) = 0;
  // The text's UTF-8 bytes; an empty text fails with SOCKET_ERR_INVALID_BUFFER.
  virtual SocketResult<std::size_t> write(std::string_view text) = 0;
};

}  // namespace vozi
