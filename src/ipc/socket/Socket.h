#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/socket/SSLServiceDelegate.h"
#include "ipc/socket/SocketAddress.h"
#include "ipc/socket/SocketConstants.h"
#include "ipc/socket/SocketEnums.h"
#include "ipc/socket/SocketError.h"
#include "ipc/socket/SocketReader.h"
#include "ipc/socket/SocketResult.h"
#include "ipc/socket/SocketSignature.h"
#include "ipc/socket/SocketWriter.h"
#include "platform/FileDescriptor.h"
#include "platform/Value.h"

namespace vozi {

// One socket of the daemon's own small socket layer: stream and datagram
// sockets over Unix-domain paths, IPv4 and IPv6, on top of the BSD calls.
//
// Every operation reports failure as a SocketError value (codes
// SOCKET_ERR_*); nothing here logs, takes a lock or owns a queue. Reads keep
// what the descriptor delivered beyond a caller's buffer in a store of their
// own, so a socket has one reader at a time; one writer may run beside it.
// close() and shutdown() may come from any thread: a call blocked in the
// descriptor wakes up, and the descriptor number is given back to the system
// only after the last call using it has returned.
//
// Sends never raise SIGPIPE: a peer that has gone makes the write fail.
// Descriptors are close-on-exec, so child processes never hold a client open.
class Socket : public SocketConstants, public SocketReader, public SocketWriter {
 public:
  using ProtocolFamily = vozi::SocketProtocolFamily;
  using SocketType = vozi::SocketType;
  using SocketProtocol = vozi::SocketProtocol;
  using Address = SocketAddress;
  using Signature = SocketSignature;
  using Error = SocketError;
  template <class T>
  using Result = SocketResult<T>;
  using Ptr = std::shared_ptr<Socket>;

  struct DatagramResult {
    std::size_t bytesRead = 0;
    // The sender; absent for an empty datagram.
    std::optional<Address> address;
  };
  struct Readiness {
    bool readable = false;
    bool writable = false;
  };
  struct Status {
    std::vector<Ptr> readables;
    std::vector<Ptr> writables;
  };
  struct HostnameAndPort {
    std::string hostname;
    std::int32_t port = 0;
  };
  // Who is at the other end of a connected Unix-domain stream socket, as the
  // kernel recorded it when the connection was made (the peer cannot forge it).
  struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;
  };

  ~Socket() override;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // --- Creating ---------------------------------------------------------

  // A new socket, neither connected nor listening. A stream needs tcp or
  // unix, a datagram udp or unix; the unix family always uses protocol 0.
  static Result<Ptr> create(ProtocolFamily family = ProtocolFamily::inet, SocketType type = SocketType::stream,
                            SocketProtocol proto = SocketProtocol::tcp);
  // A socket of the signature's kind, connected by connect(signature).
  static Result<Ptr> createConnected(const Signature& signature);
  // Adopts a connected descriptor; the socket closes it when released. An
  // absent address fails with SOCKET_ERR_MISSING_CONNECTION_DATA.
  static Result<Ptr> createFromNativeHandle(int fd, std::optional<Address> address);

  // The numeric host and the port of an IPv4 or IPv6 address; none for a
  // Unix-domain one.
  static std::optional<HostnameAndPort> hostnameAndPort(const Address& address);
  // The first address the resolver gives for a host and port.
  static std::optional<Address> createAddress(const std::string& host, std::int32_t port);

  // --- State --------------------------------------------------------------

  // The descriptor, or SOCKET_INVALID_DESCRIPTOR (-1). 0 is a valid descriptor.
  int socketfd() const;
  // Describes the socket; absent until creation completes. Read it from the
  // thread that owns the socket.
  const std::optional<Signature>& signature() const { return signature_; }

  long readBufferSize() const { return readBufferSize_; }
  // Values below SOCKET_MINIMUM_READ_BUFFER_SIZE become that minimum.
  void setReadBufferSize(long size);
  long maxBacklogSize() const { return maxBacklogSize_; }
  void setMaxBacklogSize(long size) { maxBacklogSize_ = size; }
  const std::shared_ptr<SSLServiceDelegate>& delegate() const { return delegate_; }
  // Setting a delegate raises the read buffer to SOCKET_DEFAULT_SSL_READ_BUFFER_SIZE.
  void setDelegate(std::shared_ptr<SSLServiceDelegate> delegate);

  bool isConnected() const { return isConnected_; }
  bool isBlocking() const { return isBlocking_; }
  bool isListening() const { return isListening_; }
  // True once a receive returned 0: the peer closed (or sent an empty datagram).
  bool remoteConnectionClosed() const { return remoteConnectionClosed_; }
  // True for an accepted socket whose secure-layer accept hook has not run.
  bool needsAcceptDelegateCall() const { return needsAcceptDelegateCall_; }
  // Bytes received but not yet handed to a caller.
  std::size_t pendingByteCount() const { return readStorage_.size(); }

  bool isActive() const { return isListening() || isConnected(); }
  bool isServer() const { return isListening(); }
  bool isSecure() const;
  // The signature's port while listening, else -1.
  std::int32_t listeningPort() const;
  std::string remoteHostname() const;
  std::int32_t remotePort() const;
  std::optional<std::string> remotePath() const;
  // The peer's process, user and group (SO_PEERCRED). Fails with
  // SOCKET_ERR_WRONG_PROTOCOL for a socket that is not Unix-domain, and with
  // SOCKET_ERR_GETSOCKOPT_FAILED when the system has no answer.
  Result<PeerCredentials> peerCredentials() const;

  // --- Listening and accepting -----------------------------------------------

  // Makes a Unix-domain stream socket listen on a path (at most 103 UTF-8
  // bytes). A socket file left at the path by an earlier run is removed
  // first; any other kind of file stays and makes the bind fail. The backlog
  // reaches the system unchanged.
  Result<void> listen(const std::string& path, long maxBacklogSize = SOCKET_DEFAULT_MAX_BACKLOG);
  // Binds to a TCP or UDP port (0: one the system picks, then reported by
  // listeningPort() and the signature) and, except for UDP, listens.
  // `bindAddress` is the local address to bind; absent, the wildcard address
  // of the socket's family.
  Result<void> listen(int port, long maxBacklogSize = SOCKET_DEFAULT_MAX_BACKLOG,
                      const std::optional<std::string>& bindAddress = std::nullopt);
  // Waits for a client (blocking while the descriptor blocks) and returns it
  // as a new connected socket; the listener goes on listening. A signal that
  // interrupts the wait does not end it.
  Result<Ptr> acceptClientConnection(bool invokeDelegate = true);
  // Runs the secure-layer accept hook for a socket this listener accepted.
  Result<void> invokeDelegateOnAccept(Socket& socket);
  // Accepts one client and becomes its connection; the listener is closed.
  Result<void> acceptConnection();

  // --- Connecting and waiting ---------------------------------------------

  // Connects a Unix-domain stream socket to a path.
  Result<void> connect(const std::string& path);
  // Connects to a host and port (1 to 65535), trying each resolved address in
  // turn; with a time-out (milliseconds, 0 for none) each attempt waits at
  // most that long and fails with SOCKET_ERR_CONNECT_TIMEOUT.
  Result<void> connect(const std::string& host, std::int32_t port, std::uint32_t timeout = 0);
  // Connects by the signature's path, else its host name and port, else its
  // address.
  Result<void> connect(const Signature& signature);

  // The sockets that have something to read (or a client to accept): none
  // when the time-out (milliseconds; 0 polls) ran out. Every socket must be
  // connected or listening.
  static Result<std::optional<std::vector<Ptr>>> wait(const std::vector<Ptr>& sockets, std::uint32_t timeout,
                                                      bool waitForever = false);
  // Which sockets can be read or written at once.
  static Result<Status> checkStatus(const std::vector<Ptr>& sockets);

  // --- Datagram servers ---------------------------------------------------

  // Binds a datagram socket to `port` (first call only) and receives one
  // datagram with its sender.
  Result<DatagramResult> listenForMessage(std::uint8_t* buffer, std::size_t bufSize, int port,
                                          long maxBacklogSize = SOCKET_DEFAULT_MAX_BACKLOG);
  // The same, appending the datagram to `data`; UDP sockets only.
  Result<DatagramResult> listenForMessage(platform::Data& data, int port,
                                          long maxBacklogSize = SOCKET_DEFAULT_MAX_BACKLOG);

  // --- Reading a stream ------------------------------------------------------

  // Appends what one read brings to `data` and returns its size: all the
  // descriptor has at the moment, waiting only while nothing has come. 0
  // when the peer has closed (remoteConnectionClosed() turns true), and on a
  // non-blocking socket or after a receive time-out when nothing came.
  Result<std::size_t> read(platform::Data& data) override;
  // Copies up to bufSize bytes. More bytes than that fail with
  // SOCKET_ERR_RECV_BUFFER_TOO_SMALL (bufferSizeNeeded set, nothing lost)
  // unless `truncate`, which hands out bufSize bytes and keeps the rest.
  Result<std::size_t> read(std::uint8_t* buffer, std::size_t bufSize, bool truncate = false);
  Result<std::string> readString() override;

  // --- Writing a stream -------------------------------------------------------

  // Sends all bytes, riding out partial sends and signals. A non-blocking
  // socket whose send queue is full returns the count sent so far.
  Result<std::size_t> write(const void* buffer, std::size_t bufSize);
  Result<std::size_t> write(const platform::Data& data) override;
  Result<std::size_t> write(std::string_view text) override;

  // --- Datagrams -------------------------------------------------------------

  // Receives one datagram (cut to readBufferSize()) and its sender.
  Result<DatagramResult> readDatagram(std::uint8_t* buffer, std::size_t bufSize);
  Result<DatagramResult> readDatagram(platform::Data& data);
  // Sends one datagram to an address; the socket need not be connected.
  Result<std::size_t> write(const void* buffer, std::size_t bufSize, const Address& to);
  Result<std::size_t> write(const platform::Data& data, const Address& to);
  Result<std::size_t> write(std::string_view text, const Address& to);
  Result<void> udpBroadcast(bool enable);

  // --- Readiness, options, closing ------------------------------------------

  // Whether a connected socket can be read and written: at once (timeout 0),
  // within `timeout` milliseconds, or waiting until one side is ready.
  Result<Readiness> isReadableOrWritable(bool waitForever = false, std::uint32_t timeout = 0);
  Result<void> setBlocking(bool mode);
  // Receive and send time-outs in milliseconds; 0 removes the time-out.
  Result<void> setReadTimeout(std::uint32_t value = 0);
  Result<void> setWriteTimeout(std::uint32_t value = 0);
  // Closes the descriptor; a listening Unix-domain socket also removes its
  // socket file (when it is still the one it bound). Never fails; a second
  // call does nothing.
  void close();
  // Shuts the connection down in both directions without closing the
  // descriptor: a call blocked reading or accepting returns (a read with 0),
  // and later writes fail. Does nothing without a descriptor.
  void shutdown();

 private:
  // An open descriptor. Operations hold a reference while they use it, so a
  // close() from another thread cannot hand the number back to the system
  // (to be reused by an unrelated open) while a call on it is still under way.
  using Descriptor = platform::FileDescriptor;
  using DescriptorPtr = std::shared_ptr<const Descriptor>;

  Socket();

  // The private initialisers.
  static Result<Ptr> make(ProtocolFamily family, SocketType type, SocketProtocol proto);
  static Result<Ptr> make(int fd, const Address& remoteAddress, const std::optional<std::string>& path);

  DescriptorPtr acquire() const;
  void adopt(int fd);
  void close(bool withSSLCleanup);

  struct Accepted;
  Result<Accepted> acceptOne(const Descriptor& listener);
  Result<long> secureCall(bool forReading, const std::function<SocketResult<long, SSLError>()>& hook);
  // Sends `size` bytes in as many calls of `sendSome(offset)` as it takes;
  // each sends from that offset and gives the count sent, or a negative
  // count with errno set. A non-blocking socket that would block returns
  // what went out so far.
  Result<std::size_t> sendAll(std::size_t size, const std::function<Result<long>(std::size_t offset)>& sendSome);
  Result<std::size_t> readDataIntoStorage();
  Result<DatagramResult> readDatagramIntoStorage();
  std::optional<SocketError> checkDatagram() const;

  std::vector<std::uint8_t> readBuffer_;
  platform::Data readStorage_;
  std::atomic<bool> needsAcceptDelegateCall_{false};
  // Guards descriptor_, and the signature while close() resets it, so that
  // a close from another thread and a call waiting on the descriptor hand
  // it over cleanly. (A mutex rather than std::atomic<std::shared_ptr>: the
  // latter's load in libstdc++ 12 releases its internal lock with relaxed
  // order, which leaves the swap in close() racing with a concurrent load.)
  mutable std::mutex descriptorMutex_;
  DescriptorPtr descriptor_;
  std::optional<Signature> signature_;
  std::shared_ptr<SSLServiceDelegate> delegate_;
  long readBufferSize_ = SOCKET_DEFAULT_READ_BUFFER_SIZE;
  long maxBacklogSize_ = SOCKET_DEFAULT_MAX_BACKLOG;
  std::atomic<bool> isConnected_{false};
  std::atomic<bool> isBlocking_{true};
  std::atomic<bool> isListening_{false};
  std::atomic<bool> remoteConnectionClosed_{false};
  // The socket file this socket bound, so that closing removes only that
  // file and not one another socket has put at the path since.
  std::optional<std::pair<dev_t, ino_t>> boundFile_;
};

}  // namespace vozi
