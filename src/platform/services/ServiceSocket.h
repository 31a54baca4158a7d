#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

namespace vozi::platform {

// The system calls of the named-services transport on Unix stream sockets.
// Every descriptor is close-on-exec; sends never raise SIGPIPE.
class ServiceSocket {
 public:
  struct Credentials {
    uid_t uid = static_cast<uid_t>(-1);
    pid_t pid = -1;
  };

  // A listening socket bound as `name` in the opened service folder, mode
  // 0666 (a stale socket of that name is replaced). `inode` receives the
  // socket file's inode, so that only this socket is removed later.
  static Result<std::unique_ptr<FileDescriptor>> listen(const FileDescriptor& folder, std::string_view name,
                                                        ino_t& inode);
  // Removes the socket file `name` when it is still the one with `inode`.
  static void unlinkSocket(const FileDescriptor& folder, std::string_view name, ino_t inode);
  // A socket connected to `name` in the opened service folder.
  static Result<std::unique_ptr<FileDescriptor>> connect(const FileDescriptor& folder, std::string_view name);
  // Waits for a client on `listening` or for `wake` to become readable.
  // Null with no error when woken.
  static Result<std::unique_ptr<FileDescriptor>> accept(const FileDescriptor& listening, int wake);
  // The peer's uid and pid (SO_PEERCRED).
  static Result<Credentials> peerCredentials(const FileDescriptor& socket);

  // Sends what it can of the two pieces without waiting: the number of
  // bytes sent (maybe 0), or -errno.
  static long sendSome(int fd, const std::uint8_t* first, std::size_t firstSize, const std::uint8_t* second,
                       std::size_t secondSize);
  // Sends all bytes, waiting as needed: 0, or the errno of the failure.
  // (FileDescriptor::writeAll would raise SIGPIPE on a peer that left.)
  static int sendAll(int fd, const std::uint8_t* bytes, std::size_t size);
  // Reads what has arrived, waiting for at least a byte: the count, 0 at
  // the end, or -errno.
  static long receive(int fd, std::uint8_t* buffer, std::size_t size);
  // Ends both directions: a read or send waiting on the socket returns.
  static void shutdown(int fd);
};

}  // namespace vozi::platform
