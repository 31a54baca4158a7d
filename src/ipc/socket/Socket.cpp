#include "ipc/socket/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <limits>

#include "ipc/socket/SocketUtils.h"

namespace vozi {

using platform::Data;

struct Socket::Accepted {
  int fd;
  Address remoteAddress;
};

namespace {

SocketError failure(std::int32_t code) { return SocketError(code); }
SocketError failure(std::int32_t code, std::string reason) { return SocketError(code, std::move(reason)); }

// The system's text for errno as it is right now; call right after the
// failing call.
std::string lastError() { return SocketUtils::errorText(errno); }

int narrowBacklog(long backlog) {
  return static_cast<int>(std::clamp<long>(backlog, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

timeval timevalFromMilliseconds(std::uint32_t value) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(value / 1000);
  tv.tv_usec = static_cast<suseconds_t>((value % 1000) * 1000);
  return tv;
}

// What getaddrinfo's status means, as a reason text.
std::string resolverText(int status) {
  std::string text = status == EAI_SYSTEM ? SocketUtils::errorText(errno) : std::string(::gai_strerror(status));
  return SocketUtils::isValidUTF8(text) ? text : "Unknown error code.";
}

struct AddrinfoDeleter {
  void operator()(addrinfo* list) const {
    if (list) ::freeaddrinfo(list);
  }
};
using AddrinfoList = std::unique_ptr<addrinfo, AddrinfoDeleter>;

// poll that rides out signals: an interrupted wait goes on for the rest of
// its time. timeoutMs < 0 waits without limit. Returns poll's result; errno
// is set when it is negative.
int pollRidingOutSignals(pollfd* fds, nfds_t count, long timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0L, timeoutMs));
  long remaining = timeoutMs;
  for (;;) {
    const int rc = ::poll(fds, count, static_cast<int>(std::min<long>(remaining, INT_MAX)));
    if (rc >= 0 || errno != EINTR) return rc;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
        return 0;
      }
      remaining = static_cast<long>(left);
    }
  }
}

// What select would have put in its read and write sets.
constexpr short kReadableEvents = POLLIN | POLLHUP | POLLERR;
constexpr short kWritableEvents = POLLOUT | POLLERR;

enum class ConnectWait { ready, timedOut, failed };

// Waits until a connect under way has finished, at most timeoutMs (< 0 for
// no limit).
ConnectWait waitForConnect(int fd, long timeoutMs) {
  pollfd p{fd, POLLOUT, 0};
  const int rc = pollRidingOutSignals(&p, 1, timeoutMs);
  if (rc < 0) return ConnectWait::failed;
  if (rc == 0 || (p.revents & (kWritableEvents | POLLHUP)) == 0) return ConnectWait::timedOut;
  return ConnectWait::ready;
}

// The outcome of a connect that has finished in the background: 0 when
// connected, else its errno; -1 when SO_ERROR cannot be read (errno set).
int pendingConnectError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) return -1;
  return error;
}

// A blocking connect that a signal cannot break: an interrupted attempt goes
// on in the background (TCP) or is simply made again (Unix domain). Returns 0
// or the errno of the failure.
int connectRidingOutSignals(int fd, const sockaddr* address, socklen_t length) {
  bool interrupted = false;
  for (;;) {
    if (::connect(fd, address, length) == 0) return 0;
    const int error = errno;
    if (error == EINTR) {
      interrupted = true;
      continue;
    }
    if (error == EISCONN && interrupted) return 0;
    if (error == EALREADY || error == EINPROGRESS) {
      if (waitForConnect(fd, -1) == ConnectWait::failed) return errno;
      const int pending = pendingConnectError(fd);
      return pending < 0 ? errno : pending;
    }
    return error;
  }
}

std::optional<SocketAddress> addressFromStorage(const sockaddr_storage& storage) {
  switch (storage.ss_family) {
    case AF_INET: return SocketAddress::ipv4(SocketUtils::asSockaddrIn(storage));
    case AF_INET6: return SocketAddress::ipv6(SocketUtils::asSockaddrIn6(storage));
    default: return std::nullopt;
  }
}

std::optional<SocketAddress> networkAddress(const sockaddr* address, socklen_t length) {
  sockaddr_storage storage{};
  std::memcpy(&storage, address, std::min<std::size_t>(length, sizeof storage));
  return addressFromStorage(storage);
}

// Maps a secure-layer hook's failure to the layer's error.
template <class T>
std::optional<SocketError> hookFailure(const SocketResult<T, SSLError>& result) {
  if (result.ok()) return std::nullopt;
  return SocketError(result.error());
}

bool isSocketFile(const std::string& path, struct stat* info) {
  return ::lstat(path.c_str(), info) == 0 && S_ISSOCK(info->st_mode);
}

}  // namespace

// ---------------------------------------------------------------------------
// Creating

Socket::Socket() : readBuffer_(static_cast<std::size_t>(SOCKET_DEFAULT_READ_BUFFER_SIZE), 0) {
  readStorage_.reserve(static_cast<std::size_t>(SOCKET_DEFAULT_READ_BUFFER_SIZE));
}

Socket::~Socket() {
  if (acquire()) close(true);
}

Socket::DescriptorPtr Socket::acquire() const {
  std::lock_guard lock(descriptorMutex_);
  return descriptor_;
}

void Socket::adopt(int fd) {
  DescriptorPtr replaced = fd >= 0 ? std::make_shared<const Descriptor>(fd) : nullptr;
  {
    std::lock_guard lock(descriptorMutex_);
    descriptor_.swap(replaced);
  }
  // A descriptor replaced here is closed outside the lock.
}

int Socket::socketfd() const {
  const auto descriptor = acquire();
  return descriptor ? descriptor->get() : SOCKET_INVALID_DESCRIPTOR;
}

Socket::Result<Socket::Ptr> Socket::create(ProtocolFamily family, SocketType type, SocketProtocol proto) {
  if (auto error = Signature::checkTypeAndProtocol(type, proto)) return *error;
  return make(family, type, proto);
}

Socket::Result<Socket::Ptr> Socket::make(ProtocolFamily family, SocketType type, SocketProtocol proto) {
  Ptr socket(new Socket());
  const int familyValue = platformValue(family);
  const int typeValue = platformValue(type);
  const int protoValue = family == ProtocolFamily::unix ? 0 : platformValue(proto);
  const int fd = ::socket(familyValue, typeValue | SOCK_CLOEXEC, protoValue);
  if (fd < 0) return failure(SOCKET_ERR_UNABLE_TO_CREATE_SOCKET, lastError());
  socket->adopt(fd);
  auto signature = Signature::fromPlatformValues(familyValue, typeValue, protoValue, std::nullopt);
  if (!signature) return signature.error();  // releasing the socket closes the descriptor
  socket->signature_ = std::move(*signature);
  return socket;
}

Socket::Result<Socket::Ptr> Socket::createConnected(const Signature& signature) {
  auto socket = make(signature.protocolFamily, signature.socketType, signature.proto);
  if (!socket) return socket.error();
  if (auto connected = (*socket)->connect(signature); !connected) return connected.error();
  return socket;
}

Socket::Result<Socket::Ptr> Socket::createFromNativeHandle(int fd, std::optional<Address> address) {
  if (!address) return failure(SOCKET_ERR_MISSING_CONNECTION_DATA, "Unable to access socket connection data.");
  return make(fd, *address, std::nullopt);
}

Socket::Result<Socket::Ptr> Socket::make(int fd, const Address& remoteAddress,
                                         const std::optional<std::string>& path) {
  Ptr socket(new Socket());
  socket->isConnected_ = true;
  socket->adopt(fd);

  std::optional<Result<Signature>> signature;
  if (path) {
    signature.emplace(Signature::create(SocketType::stream, SocketProtocol::unix, *path));
  } else if (auto hostAndPort = hostnameAndPort(remoteAddress)) {
    signature.emplace(Signature::fromPlatformValues(remoteAddress.family(), SOCK_STREAM, IPPROTO_TCP, remoteAddress,
                                                    hostAndPort->hostname, hostAndPort->port));
  } else {
    signature.emplace(Signature::fromPlatformValues(remoteAddress.family(), SOCK_STREAM, IPPROTO_TCP, remoteAddress));
  }
  if (!*signature) return signature->error();
  socket->signature_ = std::move(signature->value());
  return socket;
}

std::optional<Socket::HostnameAndPort> Socket::hostnameAndPort(const Address& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (const auto* in = address.asIPv4()) {
    if (!::inet_ntop(in->sin_family, &in->sin_addr, text, INET_ADDRSTRLEN)) return std::nullopt;
    if (!SocketUtils::isValidUTF8(text)) return std::nullopt;
    return HostnameAndPort{text, static_cast<std::int32_t>(ntohs(in->sin_port))};
  }
  if (const auto* in6 = address.asIPv6()) {
    if (!::inet_ntop(in6->sin6_family, &in6->sin6_addr, text, INET6_ADDRSTRLEN)) return std::nullopt;
    if (!SocketUtils::isValidUTF8(text)) return std::nullopt;
    return HostnameAndPort{text, static_cast<std::int32_t>(ntohs(in6->sin6_port))};
  }
  return std::nullopt;
}

std::optional<Socket::Address> Socket::createAddress(const std::string& host, std::int32_t port) {
  addrinfo* raw = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), nullptr, &raw) != 0) return std::nullopt;
  AddrinfoList list(raw);
  if (!list) return std::nullopt;
  return networkAddress(list->ai_addr, list->ai_addrlen);
}

// ---------------------------------------------------------------------------
// State

void Socket::setReadBufferSize(long size) {
  size = std::max(size, SOCKET_MINIMUM_READ_BUFFER_SIZE);
  if (size == readBufferSize_) return;
  readBufferSize_ = size;
  readBuffer_.assign(static_cast<std::size_t>(size), 0);
}

void Socket::setDelegate(std::shared_ptr<SSLServiceDelegate> delegate) {
  delegate_ = std::move(delegate);
  if (delegate_) setReadBufferSize(SOCKET_DEFAULT_SSL_READ_BUFFER_SIZE);
}

bool Socket::isSecure() const { return signature_ && signature_->isSecure; }

std::int32_t Socket::listeningPort() const { return isListening() && signature_ ? signature_->port : -1; }

std::string Socket::remoteHostname() const {
  if (signature_ && signature_->hostname) return *signature_->hostname;
  return std::string(NO_HOSTNAME);
}

std::int32_t Socket::remotePort() const { return signature_ ? signature_->port : SOCKET_INVALID_PORT; }

std::optional<std::string> Socket::remotePath() const {
  return signature_ ? signature_->path : std::nullopt;
}

// ---------------------------------------------------------------------------
// Listening and accepting

Socket::Result<void> Socket::listen(const std::string& path, long maxBacklogSize) {
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (!signature_ || signature_->protocolFamily != ProtocolFamily::unix) return failure(SOCKET_ERR_WRONG_PROTOCOL);

  const int on = 1;
  if (::setsockopt(descriptor->get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0)
    return failure(SOCKET_ERR_SETSOCKOPT_FAILED, lastError());

  auto bound = Signature::create(SocketType::stream, SocketProtocol::unix, path);
  if (!bound) return bound.error();

  // A socket file left by an earlier run would block the bind. Only a socket
  // file goes: whatever else sits at the path is not ours to delete.
  struct stat info {};
  if (isSocketFile(path, &info)) ::unlink(path.c_str());

  auto address = bound->unixAddress();
  if (!address) return address.error();
  if (::bind(descriptor->get(), reinterpret_cast<const sockaddr*>(&address->address), address->length) < 0)
    return failure(SOCKET_ERR_LISTEN_FAILED, lastError());
  if (::listen(descriptor->get(), narrowBacklog(maxBacklogSize)) < 0)
    return failure(SOCKET_ERR_LISTEN_FAILED, lastError());

  boundFile_.reset();
  if (isSocketFile(path, &info)) boundFile_.emplace(info.st_dev, info.st_ino);
  isListening_ = true;
  signature_->path = path;
  signature_->isBound = true;
  signature_->isSecure = false;
  signature_->address = bound->address;
  return {};
}

Socket::Result<void> Socket::listen(int port, long maxBacklogSize, const std::optional<std::string>& bindAddress) {
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  const int fd = descriptor->get();

  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0)
    return failure(SOCKET_ERR_SETSOCKOPT_FAILED, lastError());
  // Sharing the port is a wish, not a need: a family without it (Linux
  // answers EOPNOTSUPP outside IPv4 and IPv6) still listens.
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) < 0 && errno != ENOPROTOOPT && errno != EOPNOTSUPP)
    return failure(SOCKET_ERR_SETSOCKOPT_FAILED, lastError());
  if (!signature_) return failure(SOCKET_ERR_INTERNAL, "Socket signature not found.");

  if (signature_->protocolFamily == ProtocolFamily::inet6 && signature_->proto == SocketProtocol::tcp &&
      ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) < 0)
    return failure(SOCKET_ERR_SETSOCKOPT_FAILED, lastError());

  if (signature_->socketType == SocketType::stream && signature_->proto != SocketProtocol::udp && delegate_) {
    if (auto error = hookFailure(delegate_->setUp(true))) return *error;
  }

  addrinfo hints{};
  hints.ai_flags = AI_PASSIVE;
  hints.ai_family = platformValue(signature_->protocolFamily);
  hints.ai_socktype = platformValue(signature_->socketType);
  addrinfo* raw = nullptr;
  const int status = ::getaddrinfo(bindAddress ? bindAddress->c_str() : nullptr, std::to_string(port).c_str(),
                                   &hints, &raw);
  if (status != 0) return failure(SOCKET_ERR_GETADDRINFO_FAILED, resolverText(status));
  AddrinfoList list(raw);

  const addrinfo* boundEntry = nullptr;
  std::string bindError = SocketUtils::errorText(EADDRNOTAVAIL);
  for (const addrinfo* entry = list.get(); entry; entry = entry->ai_next) {
    if (::bind(fd, entry->ai_addr, entry->ai_addrlen) == 0) {
      boundEntry = entry;
      break;
    }
    bindError = lastError();
  }
  if (!boundEntry) return failure(SOCKET_ERR_BIND_FAILED, bindError);

  std::optional<Address> address;
  if (port == 0) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) < 0)
      return failure(SOCKET_ERR_BIND_FAILED, "Unable to determine listening socket address after bind.");
    address = addressFromStorage(storage);
  } else {
    address = networkAddress(boundEntry->ai_addr, boundEntry->ai_addrlen);
  }
  if (!address)
    return failure(SOCKET_ERR_WRONG_PROTOCOL, "Unable to determine listening socket protocol family.");

  if (auto hostAndPort = hostnameAndPort(*address)) {
    signature_->hostname = hostAndPort->hostname;
    signature_->port = hostAndPort->port;
  }
  signature_->isBound = true;
  signature_->address = address;

  if (signature_->socketType == SocketType::datagram && signature_->proto == SocketProtocol::udp) return {};
  if (::listen(fd, narrowBacklog(maxBacklogSize)) < 0) return failure(SOCKET_ERR_LISTEN_FAILED, lastError());
  isListening_ = true;
  signature_->isSecure = delegate_ != nullptr;
  return {};
}

Socket::Result<Socket::Accepted> Socket::acceptOne(const Descriptor& listener) {
  const auto family = signature_ ? signature_->protocolFamily : ProtocolFamily::unix;
  for (;;) {
    sockaddr_storage storage{};
    socklen_t length = family == ProtocolFamily::inet    ? sizeof(sockaddr_in)
                       : family == ProtocolFamily::inet6 ? sizeof(sockaddr_in6)
                                                         : sizeof(sockaddr_un);
    const int fd = ::accept4(listener.get(), reinterpret_cast<sockaddr*>(&storage), &length, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return failure(SOCKET_ERR_ACCEPT_FAILED, lastError());
    }
    switch (family) {
      case ProtocolFamily::inet: return Accepted{fd, Address::ipv4(SocketUtils::asSockaddrIn(storage))};
      case ProtocolFamily::inet6: return Accepted{fd, Address::ipv6(SocketUtils::asSockaddrIn6(storage))};
      case ProtocolFamily::unix: return Accepted{fd, Address::unix(SocketUtils::asSockaddrUn(storage))};
    }
  }
}

Socket::Result<Socket::Ptr> Socket::acceptClientConnection(bool invokeDelegate) {
  DescriptorPtr descriptor;
  std::optional<std::string> path;
  {
    // Read with the descriptor, before the wait, which may end with the
    // listener closed under it by another thread.
    std::lock_guard lock(descriptorMutex_);
    descriptor = descriptor_;
    if (descriptor && signature_) path = signature_->path;
  }
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (isConnected()) return failure(SOCKET_ERR_ALREADY_CONNECTED);
  if (!isListening()) return failure(SOCKET_ERR_NOT_LISTENING);
  auto accepted = acceptOne(*descriptor);
  descriptor.reset();
  if (!accepted) return accepted.error();

  auto client = make(accepted->fd, accepted->remoteAddress, path);
  if (!client) return client.error();
  if (delegate_) (*client)->needsAcceptDelegateCall_ = true;
  if (invokeDelegate && delegate_) {
    if (auto hooked = invokeDelegateOnAccept(**client); !hooked) return hooked.error();
  }
  return client;
}

Socket::Result<void> Socket::invokeDelegateOnAccept(Socket& socket) {
  if (!socket.needsAcceptDelegateCall_) return failure(SOCKET_ERR_INVALID_DELEGATE_CALL);
  if (!delegate_) return {};
  if (auto error = hookFailure(delegate_->didAccept(socket))) return *error;
  if (socket.signature_) socket.signature_->isSecure = true;
  socket.needsAcceptDelegateCall_ = false;
  return {};
}

Socket::Result<void> Socket::acceptConnection() {
  auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (isConnected()) return failure(SOCKET_ERR_ALREADY_CONNECTED);
  if (!isListening()) return failure(SOCKET_ERR_NOT_LISTENING);
  auto accepted = acceptOne(*descriptor);
  descriptor.reset();
  if (!accepted) return accepted.error();

  close(true);
  adopt(accepted->fd);
  if (signature_) {
    signature_->address = accepted->remoteAddress;
    if (auto hostAndPort = hostnameAndPort(accepted->remoteAddress)) {
      signature_->hostname = hostAndPort->hostname;
      signature_->port = hostAndPort->port;
    }
  }
  isConnected_ = true;
  isListening_ = false;
  if (delegate_) {
    if (auto error = hookFailure(delegate_->didAccept(*this))) return *error;
    if (signature_) signature_->isSecure = true;
  }
  return {};
}

// ---------------------------------------------------------------------------
// Connecting and waiting

Socket::Result<void> Socket::connect(const std::string& path) {
  if (!signature_ || signature_->protocolFamily != ProtocolFamily::unix) return failure(SOCKET_ERR_WRONG_PROTOCOL);
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (isConnected()) return failure(SOCKET_ERR_ALREADY_CONNECTED);

  auto signature = Signature::create(SocketType::stream, SocketProtocol::unix, path);
  if (!signature) return signature.error();
  signature_ = std::move(*signature);
  auto address = signature_->unixAddress();
  if (!address) return address.error();

  const int error =
      connectRidingOutSignals(descriptor->get(), reinterpret_cast<const sockaddr*>(&address->address), address->length);
  if (error != 0) return failure(SOCKET_ERR_CONNECT_FAILED, SocketUtils::errorText(error));
  isConnected_ = true;
  return {};
}

Socket::Result<void> Socket::connect(const std::string& host, std::int32_t port, std::uint32_t timeout) {
  if (!acquire()) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (isConnected()) return failure(SOCKET_ERR_ALREADY_CONNECTED);
  if (host.empty()) return failure(SOCKET_ERR_INVALID_HOSTNAME);
  if (port < 1 || port > 65535)
    return failure(SOCKET_ERR_INVALID_PORT, "The port specified is invalid. Must be in the range of 1-65535.");
  if (delegate_) {
    if (auto error = hookFailure(delegate_->setUp(false))) return *error;
  }

  addrinfo hints{};
  hints.ai_flags = AI_PASSIVE;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw = nullptr;
  const int status = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &raw);
  if (status != 0) return failure(SOCKET_ERR_GETADDRINFO_FAILED, resolverText(status));
  AddrinfoList list(raw);

  // Each address is tried in turn; a descriptor that did not connect is
  // closed before the next is tried. When none connects, the failure of the
  // last attempt is reported.
  const bool nonBlocking = timeout != 0 || !isBlocking();
  std::optional<SocketError> lastFailure;
  const addrinfo* connectedEntry = nullptr;
  platform::FileDescriptor connected;
  for (const addrinfo* entry = list.get(); entry && !connectedEntry; entry = entry->ai_next) {
    platform::FileDescriptor candidate(::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol));
    if (candidate.get() < 0) {
      lastFailure = failure(SOCKET_ERR_UNABLE_TO_CREATE_SOCKET, lastError());
      continue;
    }
    if (nonBlocking) {
      const int flags = ::fcntl(candidate.get(), F_GETFL);
      if (flags < 0) {
        lastFailure = failure(SOCKET_ERR_GET_FCNTL_FAILED, lastError());
        continue;
      }
      if (::fcntl(candidate.get(), F_SETFL, flags | O_NONBLOCK) < 0) {
        lastFailure = failure(SOCKET_ERR_SET_FCNTL_FAILED, lastError());
        continue;
      }
    }

    int error = 0;
    if (::connect(candidate.get(), entry->ai_addr, entry->ai_addrlen) < 0) error = errno;
    if (error == EINPROGRESS || (nonBlocking && error == EINTR)) {
      // Under way in the background: wait for the outcome, at most the
      // time-out (a non-blocking socket without one waits until it is known).
      const auto waited = waitForConnect(candidate.get(), timeout != 0 ? static_cast<long>(timeout) : -1);
      if (waited == ConnectWait::failed) {
        lastFailure = failure(SOCKET_ERR_SELECT_FAILED, lastError());
        continue;
      }
      if (waited == ConnectWait::timedOut) {
        lastFailure = failure(SOCKET_ERR_CONNECT_TIMEOUT, SocketUtils::errorText(ETIMEDOUT));
        continue;
      }
      error = pendingConnectError(candidate.get());
      if (error < 0) {
        lastFailure = failure(SOCKET_ERR_GETSOCKOPT_FAILED, lastError());
        continue;
      }
    } else if (error == EINTR) {
      error = connectRidingOutSignals(candidate.get(), entry->ai_addr, entry->ai_addrlen);
    }
    if (error != 0) {
      lastFailure = failure(SOCKET_ERR_GETADDRINFO_FAILED, SocketUtils::errorText(error));
      continue;
    }
    connectedEntry = entry;
    connected = std::move(candidate);
  }
  if (!connectedEntry) {
    if (lastFailure) return *lastFailure;
    return failure(SOCKET_ERR_GETADDRINFO_FAILED, SocketUtils::errorText(EADDRNOTAVAIL));
  }

  close(false);
  adopt(connected.release());
  isConnected_ = true;

  const auto remote = networkAddress(connectedEntry->ai_addr, connectedEntry->ai_addrlen);
  if (!remote) return failure(SOCKET_ERR_WRONG_PROTOCOL, "Unable to determine connected socket protocol family.");
  auto signature = Signature::fromPlatformValues(connectedEntry->ai_family, connectedEntry->ai_socktype,
                                                 connectedEntry->ai_protocol, remote, host, port);
  if (!signature) return signature.error();
  signature_ = std::move(*signature);

  if (timeout != 0 && isBlocking()) {
    const int fd = socketfd();
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return failure(SOCKET_ERR_GET_FCNTL_FAILED, lastError());
    if (::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) return failure(SOCKET_ERR_SET_FCNTL_FAILED, lastError());
  }
  if (delegate_) {
    if (auto error = hookFailure(delegate_->didConnect(*this))) return *error;
    signature_->isSecure = true;
  }
  return {};
}

Socket::Result<void> Socket::connect(const Signature& signature) {
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (signature.path) return connect(*signature.path);
  if (signature.hostname && signature.port != 0) return connect(*signature.hostname, signature.port, 0);
  if (!signature.address) return failure(SOCKET_ERR_MISSING_CONNECTION_DATA, "Unable to access connection data.");

  if (delegate_) {
    if (auto error = hookFailure(delegate_->setUp(false))) return *error;
  }
  const Address& address = *signature.address;
  const int error = connectRidingOutSignals(descriptor->get(), address.platformAddress(), address.size());
  if (error != 0) return failure(SOCKET_ERR_CONNECT_FAILED, SocketUtils::errorText(error));

  Signature connected = signature;
  if (auto hostAndPort = hostnameAndPort(address)) {
    connected.hostname = hostAndPort->hostname;
    connected.port = hostAndPort->port;
  }
  connected.path.reset();
  signature_ = std::move(connected);
  isConnected_ = true;
  if (delegate_) {
    if (auto hooked = hookFailure(delegate_->didConnect(*this))) return *hooked;
    signature_->isSecure = true;
  }
  return {};
}

Socket::Result<std::optional<std::vector<Socket::Ptr>>> Socket::wait(const std::vector<Ptr>& sockets,
                                                                     std::uint32_t timeout, bool waitForever) {
  std::vector<DescriptorPtr> held;
  std::vector<pollfd> fds;
  held.reserve(sockets.size());
  fds.reserve(sockets.size());
  for (const auto& socket : sockets) {
    auto descriptor = socket ? socket->acquire() : nullptr;
    if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
    if (!socket->isActive()) return failure(SOCKET_ERR_NOT_ACTIVE);
    fds.push_back(pollfd{descriptor->get(), POLLIN, 0});
    held.push_back(std::move(descriptor));
  }
  // Nothing to wait for: nothing can become readable.
  if (sockets.empty()) return std::optional<std::vector<Ptr>>();

  const long timeoutMs = waitForever ? -1 : static_cast<long>(timeout);
  const int rc = pollRidingOutSignals(fds.data(), fds.size(), timeoutMs);
  if (rc < 0) return failure(SOCKET_ERR_SELECT_FAILED, lastError());
  if (rc == 0) return std::optional<std::vector<Ptr>>();

  std::vector<Ptr> readable;
  for (std::size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].revents & POLLNVAL) return failure(SOCKET_ERR_SELECT_FAILED, SocketUtils::errorText(EBADF));
    if (fds[i].revents & kReadableEvents) readable.push_back(sockets[i]);
  }
  return std::optional<std::vector<Ptr>>(std::move(readable));
}

Socket::Result<Socket::Status> Socket::checkStatus(const std::vector<Ptr>& sockets) {
  Status status;
  for (const auto& socket : sockets) {
    if (!socket) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
    auto readiness = socket->isReadableOrWritable(false, 0);
    if (!readiness) return readiness.error();
    if (readiness->readable) status.readables.push_back(socket);
    if (readiness->writable) status.writables.push_back(socket);
  }
  return status;
}

// ---------------------------------------------------------------------------
// Datagram servers

Socket::Result<Socket::DatagramResult> Socket::listenForMessage(std::uint8_t* buffer, std::size_t bufSize, int port,
                                                                long maxBacklogSize) {
  if (bufSize == 0) return failure(SOCKET_ERR_INVALID_BUFFER);
  if (!acquire()) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (auto error = checkDatagram()) return *error;
  if (!signature_->isBound) {
    if (auto listening = listen(port, maxBacklogSize); !listening) return listening.error();
  }
  if (!signature_->isBound) return failure(SOCKET_ERR_LISTEN_FAILED, "");
  isListening_ = true;
  return readDatagram(buffer, bufSize);
}

Socket::Result<Socket::DatagramResult> Socket::listenForMessage(Data& data, int port, long maxBacklogSize) {
  if (!acquire()) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (auto error = checkDatagram()) return *error;
  if (signature_->proto != SocketProtocol::udp) return failure(SOCKET_ERR_WRONG_PROTOCOL, "This is not a UDP socket.");
  if (!signature_->isBound) {
    if (auto listening = listen(port, maxBacklogSize); !listening) return listening.error();
  }
  if (!signature_->isBound) return failure(SOCKET_ERR_LISTEN_FAILED, "");
  isListening_ = true;
  return readDatagram(data);
}

// ---------------------------------------------------------------------------
// Reading and writing a stream

Socket::Result<long> Socket::secureCall(bool forReading, const std::function<SocketResult<long, SSLError>()>& hook) {
  for (;;) {
    auto result = hook();
    if (result) return *result;
    const SSLError& error = result.error();
    switch (error.kind()) {
      case SSLError::Kind::fail: return SocketError(error);
      case SSLError::Kind::success: continue;
      case SSLError::Kind::retryNeeded:
        for (;;) {
          auto readiness = isReadableOrWritable(true, 0);
          if (!readiness) return readiness.error();
          if (forReading ? readiness->readable : readiness->writable) break;
        }
        continue;
    }
  }
}

Socket::Result<std::size_t> Socket::readDataIntoStorage() {
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  const auto size = static_cast<std::size_t>(readBufferSize_);
  for (;;) {
    long count;
    if (delegate_) {
      auto received =
          secureCall(true, [&] { return delegate_->secureReceive(readBuffer_.data(), size); });
      if (!received) return received.error();
      count = *received;
    } else {
      // Wait only while nothing is stored: once bytes are held, take what
      // else is there and hand it all out.
      count = ::recv(descriptor->get(), readBuffer_.data(), size, readStorage_.empty() ? 0 : MSG_DONTWAIT);
    }
    if (count < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (error == EAGAIN || error == EWOULDBLOCK) return readStorage_.size();
      if (error == ECONNRESET) return failure(SOCKET_ERR_CONNECTION_RESET, SocketUtils::errorText(error));
      return failure(SOCKET_ERR_RECV_FAILED, SocketUtils::errorText(error));
    }
    if (count == 0) {
      // The peer has closed. What came before the close still goes out; the
      // read after it reports the close.
      remoteConnectionClosed_ = true;
      return readStorage_.size();
    }
    readStorage_.insert(readStorage_.end(), readBuffer_.begin(), readBuffer_.begin() + count);
    if (static_cast<std::size_t>(count) < size ||
        readStorage_.size() >= static_cast<std::size_t>(SOCKET_MAXIMUM_BYTES_PER_READ))
      return readStorage_.size();
  }
}

Socket::Result<std::size_t> Socket::read(Data& data) {
  if (!acquire()) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (!isConnected()) return failure(SOCKET_ERR_NOT_CONNECTED);
  auto stored = readDataIntoStorage();
  if (!stored) return stored.error();
  if (*stored == 0) return std::size_t{0};
  const std::size_t count = readStorage_.size();
  if (data.empty()) {
    // Hand the store over whole: no copy, and a socket that once read a
    // large burst does not keep that much memory for the rest of its life.
    data.swap(readStorage_);
    readStorage_ = Data();
  } else {
    data.insert(data.end(), readStorage_.begin(), readStorage_.end());
    readStorage_.clear();
  }
  return count;
}

Socket::Result<std::size_t> Socket::read(std::uint8_t* buffer, std::size_t bufSize, bool truncate) {
  if (bufSize == 0) return failure(SOCKET_ERR_INVALID_BUFFER);
  if (!acquire()) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (!isConnected()) return failure(SOCKET_ERR_NOT_CONNECTED);
  if (readStorage_.empty()) {
    auto stored = readDataIntoStorage();
    if (!stored) return stored.error();
    if (*stored == 0 || readStorage_.empty()) return std::size_t{0};
  }
  const std::size_t held = readStorage_.size();
  if (held <= bufSize) {
    std::memcpy(buffer, readStorage_.data(), held);
    readStorage_.clear();
    return held;
  }
  if (!truncate) return SocketError::bufferTooSmall(static_cast<long>(held));
  std::memcpy(buffer, readStorage_.data(), bufSize);
  readStorage_.erase(readStorage_.begin(), readStorage_.begin() + static_cast<std::ptrdiff_t>(bufSize));
  return bufSize;
}

Socket::Result<std::string> Socket::readString() {
  Data data;
  data.reserve(2000);
  auto count = read(data);
  if (!count) return count.error();
  std::string text(data.begin(), data.end());
  if (*count == 0 || !SocketUtils::isValidUTF8(text))
    return failure(SOCKET_ERR_INTERNAL, "Unable to convert data to NSString.");
  return text;
}

Socket::Result<std::size_t> Socket::write(const void* buffer, std::size_t bufSize) {
  if (bufSize == 0) return failure(SOCKET_ERR_INVALID_BUFFER);
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (!isConnected()) return failure(SOCKET_ERR_NOT_CONNECTED);

  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  return sendAll(bufSize, [&](std::size_t sent) -> Result<long> {
    if (delegate_) return secureCall(false, [&] { return delegate_->secureSend(bytes + sent, bufSize - sent); });
    return ::send(descriptor->get(), bytes + sent, bufSize - sent, MSG_NOSIGNAL);
  });
}

Socket::Result<std::size_t> Socket::sendAll(std::size_t size,
                                            const std::function<Result<long>(std::size_t offset)>& sendSome) {
  std::size_t sent = 0;
  while (sent < size) {
    const auto result = sendSome(sent);
    if (!result) return result.error();
    const long count = *result;
    if (count <= 0) {
      const int error = errno;
      if (count < 0 && error == EINTR) continue;
      if ((error == EAGAIN || error == EWOULDBLOCK) && !isBlocking()) return sent;
      if (error == ECONNRESET) return failure(SOCKET_ERR_CONNECTION_RESET, SocketUtils::errorText(error));
      return failure(SOCKET_ERR_WRITE_FAILED, SocketUtils::errorText(error));
    }
    sent += static_cast<std::size_t>(count);
  }
  return sent;
}

Socket::Result<std::size_t> Socket::write(const Data& data) {
  if (data.empty()) return std::size_t{0};
  return write(data.data(), data.size());
}

Socket::Result<std::size_t> Socket::write(std::string_view text) { return write(text.data(), text.size()); }

// ---------------------------------------------------------------------------
// Datagrams

std::optional<SocketError> Socket::checkDatagram() const {
  if (!signature_ || signature_->socketType != SocketType::datagram)
    return failure(SOCKET_ERR_WRONG_PROTOCOL, "This is not a UDP socket.");
  return std::nullopt;
}

Socket::Result<Socket::DatagramResult> Socket::readDatagramIntoStorage() {
  // Bytes left by an earlier receive whose sender could not be read go out
  // by themselves, never joined to the next datagram.
  if (!readStorage_.empty()) return DatagramResult{readStorage_.size(), std::nullopt};

  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  sockaddr_storage sender{};
  long count;
  for (;;) {
    sender = {};
    socklen_t length = sizeof sender;
    count = ::recvfrom(descriptor->get(), readBuffer_.data(), static_cast<std::size_t>(readBufferSize_), 0,
                       reinterpret_cast<sockaddr*>(&sender), &length);
    if (count >= 0) break;
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) return DatagramResult{readStorage_.size(), std::nullopt};
    if (error == ECONNRESET) return failure(SOCKET_ERR_CONNECTION_RESET, SocketUtils::errorText(error));
    return failure(SOCKET_ERR_RECV_FAILED, SocketUtils::errorText(error));
  }
  if (count == 0) {
    remoteConnectionClosed_ = true;
    return DatagramResult{0, std::nullopt};
  }
  readStorage_.insert(readStorage_.end(), readBuffer_.begin(), readBuffer_.begin() + count);
  auto address = addressFromStorage(sender);
  if (!address) return failure(SOCKET_ERR_WRONG_PROTOCOL, "Unable to determine receiving socket protocol family.");
  return DatagramResult{readStorage_.size(), std::move(address)};
}

Socket::Result<Socket::DatagramResult> Socket::readDatagram(std::uint8_t* buffer, std::size_t bufSize) {
  if (bufSize == 0) return failure(SOCKET_ERR_INVALID_BUFFER);
  if (!acquire()) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (auto error = checkDatagram()) return *error;
  auto received = readDatagramIntoStorage();
  if (!received) return received.error();
  if (received->bytesRead == 0) return DatagramResult{};
  // A caller's buffer too small for the datagram gets its first bytes; the
  // rest of the datagram is dropped, as the system does for a short buffer.
  if (readStorage_.size() > bufSize) readStorage_.resize(bufSize);
  const std::size_t count = readStorage_.size();
  std::memcpy(buffer, readStorage_.data(), count);
  readStorage_.clear();
  return DatagramResult{count, std::move(received->address)};
}

Socket::Result<Socket::DatagramResult> Socket::readDatagram(Data& data) {
  if (!acquire()) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (auto error = checkDatagram()) return *error;
  auto received = readDatagramIntoStorage();
  if (!received) return received.error();
  if (received->bytesRead == 0) return DatagramResult{0, std::move(received->address)};
  data.insert(data.end(), readStorage_.begin(), readStorage_.end());
  const std::size_t count = readStorage_.size();
  readStorage_.clear();
  return DatagramResult{count, std::move(received->address)};
}

Socket::Result<std::size_t> Socket::write(const void* buffer, std::size_t bufSize, const Address& to) {
  // An empty datagram received earlier marked the peer as gone; sending is
  // refused with an error rather than reported as a send of nothing.
  if (remoteConnectionClosed()) return failure(SOCKET_ERR_NOT_CONNECTED, "The remote connection was closed.");
  if (bufSize == 0) return failure(SOCKET_ERR_INVALID_BUFFER);
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (auto error = checkDatagram()) return *error;

  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  return sendAll(bufSize, [&](std::size_t sent) -> Result<long> {
    return ::sendto(descriptor->get(), bytes + sent, bufSize - sent, MSG_NOSIGNAL, to.platformAddress(), to.size());
  });
}

Socket::Result<std::size_t> Socket::write(const Data& data, const Address& to) {
  return write(data.data(), data.size(), to);
}

Socket::Result<std::size_t> Socket::write(std::string_view text, const Address& to) {
  return write(text.data(), text.size(), to);
}

Socket::Result<void> Socket::udpBroadcast(bool enable) {
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (auto error = checkDatagram()) return *error;
  const int value = enable ? 1 : 0;
  if (::setsockopt(descriptor->get(), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) < 0)
    return failure(SOCKET_ERR_SETSOCKOPT_FAILED, lastError());
  return {};
}

// ---------------------------------------------------------------------------
// Readiness, options and closing

Socket::Result<Socket::Readiness> Socket::isReadableOrWritable(bool waitForever, std::uint32_t timeout) {
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  if (!isConnected()) return failure(SOCKET_ERR_NOT_CONNECTED);
  pollfd p{descriptor->get(), POLLIN | POLLOUT, 0};
  const int rc = pollRidingOutSignals(&p, 1, waitForever ? -1 : static_cast<long>(timeout));
  if (rc < 0) return failure(SOCKET_ERR_SELECT_FAILED, lastError());
  if (p.revents & POLLNVAL) return failure(SOCKET_ERR_SELECT_FAILED, SocketUtils::errorText(EBADF));
  return Readiness{(p.revents & kReadableEvents) != 0, (p.revents & kWritableEvents) != 0};
}

Socket::Result<void> Socket::setBlocking(bool mode) {
  const int fd = socketfd();
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return failure(SOCKET_ERR_GET_FCNTL_FAILED, lastError());
  const int updated = mode ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  if (::fcntl(fd, F_SETFL, updated) < 0) return failure(SOCKET_ERR_SET_FCNTL_FAILED, lastError());
  isBlocking_ = mode;
  return {};
}

Socket::Result<void> Socket::setReadTimeout(std::uint32_t value) {
  const timeval tv = timevalFromMilliseconds(value);
  if (::setsockopt(socketfd(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) < 0)
    return failure(SOCKET_ERR_SET_RECV_TIMEOUT_FAILED, lastError());
  return {};
}

Socket::Result<void> Socket::setWriteTimeout(std::uint32_t value) {
  const timeval tv = timevalFromMilliseconds(value);
  if (::setsockopt(socketfd(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) < 0)
    return failure(SOCKET_ERR_SET_WRITE_TIMEOUT_FAILED, lastError());
  return {};
}

Socket::Result<Socket::PeerCredentials> Socket::peerCredentials() const {
  const auto descriptor = acquire();
  if (!descriptor) return failure(SOCKET_ERR_BAD_DESCRIPTOR);
  {
    std::lock_guard lock(descriptorMutex_);
    if (!signature_ || signature_->protocolFamily != ProtocolFamily::unix) return failure(SOCKET_ERR_WRONG_PROTOCOL);
  }
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(descriptor->get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) < 0)
    return failure(SOCKET_ERR_GETSOCKOPT_FAILED, lastError());
  return PeerCredentials{credentials.pid, credentials.uid, credentials.gid};
}

void Socket::close() { close(true); }

void Socket::close(bool withSSLCleanup) {
  // Only the call that takes the descriptor does the work, so two closes
  // from two threads never both touch the socket's state. Once closed, a
  // socket cannot regain a host name, port or path, so a later close has
  // nothing left to reset.
  DescriptorPtr descriptor;
  {
    std::lock_guard lock(descriptorMutex_);
    descriptor.swap(descriptor_);
  }
  if (!descriptor) return;
  const bool wasListening = isListening();
  if (withSSLCleanup && delegate_) delegate_->tearDown();
  // A listener is shut down so that a thread waiting in accept returns. A
  // connection still in use by another thread (a reader waiting for data)
  // is shut down too: closing alone would leave that thread waiting.
  if (wasListening || descriptor.use_count() > 1) ::shutdown(descriptor->get(), SHUT_RDWR);
  isListening_ = false;
  isConnected_ = false;
  // The descriptor is closed here, or by the last call still using it.
  descriptor.reset();

  std::lock_guard lock(descriptorMutex_);
  if (signature_) {
    signature_->hostname = std::string(NO_HOSTNAME);
    signature_->port = SOCKET_INVALID_PORT;
    // The socket file goes only while it is still the one this socket bound:
    // another listener may have taken the path over since.
    if (signature_->path && wasListening && boundFile_) {
      struct stat info {};
      if (isSocketFile(*signature_->path, &info) && info.st_dev == boundFile_->first &&
          info.st_ino == boundFile_->second)
        ::unlink(signature_->path->c_str());
    }
    signature_->path.reset();
    signature_->isSecure = false;
  }
  boundFile_.reset();
}

void Socket::shutdown() {
  if (const auto descriptor = acquire()) ::shutdown(descriptor->get(), SHUT_RDWR);
}

}  // namespace vozi
