#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "common/LogRateLimiter.h"
#include "ipc/ConnectionAdmission.h"
#include "ipc/JSONLineSplitter.h"
#include "ipc/socket/Socket.h"
#include "platform/DispatchQueue.h"
#include "platform/Error.h"
#include "platform/Result.h"
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
// and decoding), its own serial write queue (blocking writes of the replies
// scheduleResponse() has encoded), and the callback queue given by its owner (every delegate call and
// the running flag). The messages of one read reach the delegate in order,
// all before the next read begins. The connection never stops itself;
// stopping is the delegate's decision.
//
// What a client can make the connection hold is capped, and a client past a
// cap is dropped with a log line: the read loop ends, the peer is cut off
// (the socket is shut down) and the delegate hears an error of errorDomain,
// once, through the read side, and is expected to stop the connection.
// - requestTooLong: a request line longer than maxRequestLength bytes. The
//   cap is what the parser may copy of one bad request, so it is kept small:
//   socket requests are a few hundred bytes.
// - heldBytesPastLimit: the bytes of the unfinished request would take the
//   peer's uid past what its ticket allows (see ConnectionAdmission).
// - repliesPastLimit: the replies waiting to be written would hold more than
//   maxPendingReplyBytes, a client that does not read them. The waiting
//   replies are freed at once and their outcomes never reported; later
//   replies are dropped. One reply alone may be larger (the largest, a scan
//   result, is the daemon's own making and goes out whole).
//
// The lines the connection logs for each read, request and reply go through
// a log budget (LogRateLimiter: that of the peer's uid when the connection
// has a ticket, else its own), so a client cannot flood the log; a request
// or reply is logged cut to its first 256 bytes, with its length.
class IPCConnection : public std::enable_shared_from_this<IPCConnection> {
 public:
  static constexpr std::size_t maxRequestLength = 1024 * 1024;
  static constexpr std::size_t maxPendingReplyBytes = 64 * 1024 * 1024;
  static constexpr const char* errorDomain = "ded.ive.IPCConnection";
  enum ErrorCode : long { requestTooLong = 1, repliesPastLimit = 2, heldBytesPastLimit = 3 };

  // A connection around a connected socket; nothing is read until start().
  // The delegate is held weakly. The ticket, when given, is the peer's
  // admission: the connection reports the bytes it holds to it and releases
  // it in stop().
  static std::shared_ptr<IPCConnection> make(Socket::Ptr socket, const std::shared_ptr<IPCConnectionDelegate>& delegate,
                                             platform::DispatchQueuePtr queue,
                                             std::shared_ptr<ConnectionAdmission::Ticket> ticket = nullptr);
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
  // Encodes the reply on the calling thread, queues its text for the write
  // queue and returns. Replies go out in the order of these calls; each
  // outcome reaches the delegate (a reply JSON cannot carry, too, in its
  // turn), unless the client is dropped for not reading them.
  void scheduleResponse(platform::Value::Dictionary message);

 private:
  IPCConnection(Socket::Ptr socket, const std::shared_ptr<IPCConnectionDelegate>& delegate,
                platform::DispatchQueuePtr queue, std::shared_ptr<ConnectionAdmission::Ticket> ticket);

  void scheduleRead();
  void readTurn();
  void handOn(const std::string& piece);
  void endOfStream();
  void writeNext();
  void reportWrite(std::optional<IPCConnectionError> error);
  // Cuts the peer off and tells the delegate why (see the caps above).
  void dropPeer(ErrorCode code, const std::string& description);
  // Whether the bytes of the unfinished request may be held; no ticket, no
  // limit beyond maxRequestLength.
  bool hold(std::size_t bytes);

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
  std::shared_ptr<ConnectionAdmission::Ticket> ticket_;
  std::shared_ptr<LogRateLimiter> logBudget_;

  // Replies in the order of scheduleResponse(): their text, or why there is
  // none. One write-queue block per entry takes the front one.
  mutable std::mutex repliesMutex_;
  std::deque<platform::Result<std::string>> replies_;
  std::size_t queuedReplyBytes_ = 0;
  std::size_t writingReplyBytes_ = 0;
  bool repliesRefused_ = false;

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  std::weak_ptr<IPCConnectionDelegate> delegate_;
  bool stopping_ = false;
  bool closed_ = false;
  int socketCalls_ = 0;
};

}  // namespace vozi
