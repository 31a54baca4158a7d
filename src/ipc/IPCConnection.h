#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "ipc/JSONLineSplitter.h"
#include "ipc/socket/Socket.h"
#include "platform/DispatchQueue.h"
#include "platform/Error.h"
#include "platform/Value.h"

namespace vozi {

class IPCConnection;

// What a connection reports besides requests: a failure of the socket layer,
// or a platform error (a reply JSON cannot carry, a request too long).
using IPCConnectionError = std::variant<SocketError, platform::Error>;

// The owner of a connection hears of it through this interface, always on the
// connection's callback queue.
class IPCConnectionDelegate {
 public:
  virtual ~IPCConnectionDelegate() = default;
  // One decoded request (message set, error absent), or a failure of the read
  // side (message absent, error set). A peer that closes gives a SocketError
  // with code SOCKET_ERR_NOT_CONNECTED.
  virtual void connection(const std::shared_ptr<IPCConnection>& connection,
                          const std::optional<platform::Value::Dictionary>& message,
                          const std::optional<IPCConnectionError>& error) = 0;
  // The outcome of one reply: no error on success.
  virtual void connection(const std::shared_ptr<IPCConnection>& connection,
                          const std::optional<IPCConnectionError>& error) = 0;
};

// One client of the daemon's socket: reads requests, one JSON object per line,
// and hands each to the delegate; writes each reply as one compact JSON
// object with no terminator.
//
// Three queues touch a connection: its own serial read queue (blocking reads
// and decoding), its own serial write queue (serialising and blocking
// writes), and the callback queue given by its owner (every delegate call and
// the running flag). The messages of one read reach the delegate in order,
// all before the next read begins. The connection never stops itself;
// stopping is the delegate's decision.
//
// A request may arrive over several reads; one longer than
// maxRequestLength bytes ends the read loop (the delegate hears an error of
// errorDomain / requestTooLong and is expected to stop the connection).
class IPCConnection : public std::enable_shared_from_this<IPCConnection> {
 public:
  static constexpr std::size_t maxRequestLength = JSONLineSplitter::defaultMaxLineLength;
  static constexpr const char* errorDomain = "ded.ive.IPCConnection";
  enum ErrorCode : long { requestTooLong = 1 };

  // A connection around a connected socket; nothing is read until start().
  // The delegate is held weakly.
  static std::shared_ptr<IPCConnection> make(Socket::Ptr socket, const std::shared_ptr<IPCConnectionDelegate>& delegate,
                                             platform::DispatchQueuePtr queue);
  ~IPCConnection();
  IPCConnection(const IPCConnection&) = delete;
  IPCConnection& operator=(const IPCConnection&) = delete;

  // The connected socket. The connection closes it in stop(); do not close
  // it behind the connection's back.
  const Socket::Ptr& socket() const { return socket_; }
  // The delegate, or none once stop() has run or the delegate has gone.
  std::shared_ptr<IPCConnectionDelegate> delegate() const;

  // Starts the read loop (on the callback queue). Call once.
  void start();
  // Forgets the delegate, ends the read loop and closes the socket. A read or
  // write in progress is woken (the socket is shut down first) and the
  // descriptor is closed as soon as it has returned, before stop() returns.
  // Nothing more reaches the delegate from blocks made after this call; a
  // second call only waits for the first to finish closing.
  void stop();
  // Queues the reply for the write queue and returns at once. Replies go out
  // in the order of these calls; each outcome reaches the delegate.
  void scheduleResponse(platform::Value::Dictionary message);

 private:
  IPCConnection(Socket::Ptr socket, const std::shared_ptr<IPCConnectionDelegate>& delegate,
                platform::DispatchQueuePtr queue);

  void scheduleRead();
  void readTurn();
  void handOn(const std::string& piece);
  void endOfStream();
  void write(const platform::Value::Dictionary& message);
  void reportWrite(std::optional<IPCConnectionError> error);

  // Every use of the descriptor is bracketed by these, so that stop() can
  // wait for the last one before closing. beginSocketCall() fails once
  // stop() has begun.
  bool beginSocketCall();
  void endSocketCall();

  Socket::Ptr socket_;
  platform::DispatchQueuePtr callbackQueue_;
  platform::DispatchQueuePtr readQueue_;
  platform::DispatchQueuePtr writeQueue_;
  bool running_ = false;  // only on callbackQueue_

  JSONLineSplitter splitter_;  // only on readQueue_

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  std::weak_ptr<IPCConnectionDelegate> delegate_;
  bool stopping_ = false;
  bool closed_ = false;
  int socketCalls_ = 0;
};

}  // namespace vozi
