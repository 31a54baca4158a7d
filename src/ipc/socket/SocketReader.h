#pragma once

#include <cstddef>
#include <string>

#include "ipc/socket/SocketResult.h"
#include "platform/Value.h"

namespace vozi {

// The reads a connected stream socket offers.
class SocketReader {
 public:
  virtual ~SocketReader() = default;
  // The text of one read; an empty read or bytes that are not UTF-8 fail.
  virtual SocketResult<std::string> readString() = 0;
  // Appends what one read brings to `data`; 0 when the peer has closed (or,
  // on a non-blocking socket or after a receive time-out, when nothing came).
  virtual SocketResult<std::size_t> read(platform::Data& data) = 0;
};

}  // namespace vozi
