#include "platform/services/ServiceSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/PosixError.h"
#include "platform/services/ServiceFolder.h"

namespace vozi::platform {

namespace {

Result<sockaddr_un> addressOf(const FileDescriptor& folder, std::string_view name) {
  auto path = ServiceFolder::socketPath(folder, name);
  if (!path) return path.error();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path->c_str(), path->size() + 1);
  return address;
}

}  // namespace

Result<std::unique_ptr<FileDescriptor>> ServiceSocket::listen(const FileDescriptor& folder, std::string_view name,
                                                              ino_t& inode) {
  auto address = addressOf(folder, name);
  if (!address) return address.error();
  const std::string file(name);
  struct stat info {};
  if (::fstatat(folder.get(), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      ::unlinkat(folder.get(), file.c_str(), 0) != 0)
    return PosixError::make(errno, file);
  auto socket = std::make_unique<FileDescriptor>(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!*socket) return PosixError::make(errno, file);
  if (::bind(socket->get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0)
    return PosixError::make(errno, file);
  // Access is decided per service by peer credentials, not by the file.
  if (::fchmodat(folder.get(), file.c_str(), 0666, 0) != 0 ||
      ::fstatat(folder.get(), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return PosixError::make(errno, file);
  inode = info.st_ino;
  if (::listen(socket->get(), SOMAXCONN) != 0) return PosixError::make(errno, file);
  return socket;
}

void ServiceSocket::unlinkSocket(const FileDescriptor& folder, std::string_view name, ino_t inode) {
  const std::string file(name);
  struct stat info {};
  if (::fstatat(folder.get(), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(info.st_mode) &&
      info.st_ino == inode)
    ::unlinkat(folder.get(), file.c_str(), 0);
}

Result<std::unique_ptr<FileDescriptor>> ServiceSocket::connect(const FileDescriptor& folder, std::string_view name) {
  auto address = addressOf(folder, name);
  if (!address) return address.error();
  auto socket = std::make_unique<FileDescriptor>(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!*socket) return PosixError::make(errno, std::string(name));
  while (::connect(socket->get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0) {
    if (errno != EINTR) return PosixError::make(errno, std::string(name));
  }
  return socket;
}

Result<std::unique_ptr<FileDescriptor>> ServiceSocket::accept(const FileDescriptor& listening, int wake) {
  for (;;) {
    pollfd fds[2] = {{listening.get(), POLLIN, 0}, {wake, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return PosixError::make(errno);
    }
    if (fds[1].revents != 0) return std::unique_ptr<FileDescriptor>();
    if (fds[0].revents & (POLLERR | POLLNVAL)) return PosixError::make(EBADF);
    const int fd = ::accept4(listening.get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return std::make_unique<FileDescriptor>(fd);
    // A client that gave up before it was taken, or a signal: wait again.
    if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN || errno == EPROTO) continue;
    return PosixError::make(errno);
  }
}

Result<ServiceSocket::Credentials> ServiceSocket::peerCredentials(const FileDescriptor& socket) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(socket.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return PosixError::make(errno);
  return Credentials{credentials.uid, credentials.pid};
}

long ServiceSocket::sendSome(int fd, const std::uint8_t* first, std::size_t firstSize, const std::uint8_t* second,
                             std::size_t secondSize) {
  iovec pieces[2] = {{const_cast<std::uint8_t*>(first), firstSize}, {const_cast<std::uint8_t*>(second), secondSize}};
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = secondSize > 0 ? 2 : 1;
  for (;;) {
    const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) return sent;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -errno;
  }
}

int ServiceSocket::sendAll(int fd, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return 0;
}

long ServiceSocket::receive(int fd, std::uint8_t* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::recv(fd, buffer, size, 0);
    if (got >= 0) return got;
    if (errno != EINTR) return -errno;
  }
}

void ServiceSocket::shutdown(int fd) { ::shutdown(fd, SHUT_RDWR); }

}  // namespace vozi::platform
