#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>
#include <unordered_map>

#include "platform/DispatchQueue.h"
#include "platform/Error.h"
#include "platform/FileDescriptor.h"
#include "platform/services/XPCInterface.h"

namespace vozi::platform {

template <class I>
class XPCProxy;

// One end of a named-service conversation over a Unix stream socket: the
// client end made by name (connectToService), or the end a listener
// accepted (XPCListener). Either end may export an object (calls from the
// peer are decoded against the exported interface's class lists and
// delivered to it) and hold a proxy of the peer's object (remoteObjectProxy).
//
// Set-up (exported interface and object, remote interface, handlers) comes
// before resume(). After resume() the connection lives until it ends, even
// when nothing else holds it.
//
// Queues:
// - queue(): a serial queue of the connection's own. Calls from the peer run
//   on it one at a time in the order they were sent; the interruption and
//   invalidation handlers run on it after every call received before them.
// - frames are read and decoded on a reading queue of their own, so a
//   refused call is refused before it reaches queue(). Reply blocks run
//   right there, in the order their replies arrive: a reply never waits
//   behind a call that is running (a call may block until the peer answers
//   it something). A reply block must not itself wait for the peer.
// - proxy error handlers run on a side queue; frames that cannot leave at
//   once are written on a writing queue.
// Every other method may be called from any thread.
//
// Endings:
// - interruption (client end only): the peer went away; pending reply
//   blocks are dropped, and the next call connects again.
// - invalidation: invalidate() was called, or the peer of an accepted end
//   went away, or the peer broke a cap. It comes once and last: afterwards
//   sends are dropped and their blocks never run, handlers and the exported
//   object are released.
// A reply block runs at most once; a reply whose identifier is unknown or
// already used is dropped. A reply block that never gets its reply is
// destroyed when its connection ends, without running; a proxy made with an
// error handler runs that handler once instead.
//
// Caps (a peer past one is dropped with a log line, see ServiceLog):
// kMaxFrameBytes per frame (either way), kMaxBacklogBytes of calls
// received but not yet delivered and, separately, of frames waiting to go
// out, kMaxPendingReplies reply blocks waiting for the peer.
class XPCConnection : public std::enable_shared_from_this<XPCConnection> {
 public:
  // A scan result of 1,000,000 file items archives to about 361 MB.
  static constexpr std::size_t kMaxFrameBytes = 512u << 20;
  static constexpr std::size_t kMaxBacklogBytes = 2 * kMaxFrameBytes;
  static constexpr std::size_t kMaxPendingReplies = 65536;

  // The caps of one connection; tests lower them.
  struct Limits {
    std::size_t maxFrameBytes = kMaxFrameBytes;
    std::size_t maxBacklogBytes = kMaxBacklogBytes;
    std::size_t maxPendingReplies = kMaxPendingReplies;
  };

  // The errors a proxy's error handler receives.
  static constexpr const char* kErrorDomain = "NSCocoaErrorDomain";
  enum ErrorCode : long { connectionInterrupted = 4097, connectionInvalid = 4099 };

  using Handler = std::function<void()>;
  using ErrorHandler = std::function<void(const Error&)>;
  // Decodes a reply's arguments; the result runs the caller's reply block.
  using ReplyDecoder = std::function<Result<std::function<void()>>(KeyedUnarchiver&)>;

  // The client end of the service `name`; it connects on its first call.
  static std::shared_ptr<XPCConnection> connectToService(std::string name);

  ~XPCConnection();
  XPCConnection(const XPCConnection&) = delete;
  XPCConnection& operator=(const XPCConnection&) = delete;

  const std::string& serviceName() const { return name_; }
  const DispatchQueuePtr& queue() const { return queue_; }
  // The current (or last) peer's credentials; -1 before any peer.
  uid_t peerUID() const;
  pid_t peerPID() const;

  void setExportedInterface(XPCInterfacePtr interface);
  XPCInterfacePtr exportedInterface() const;
  // `object` must implement the exported interface's protocol I.
  template <class I>
  void setExportedObject(std::shared_ptr<I> object) {
    setExportedObject(std::static_pointer_cast<void>(std::move(object)), std::type_index(typeid(I)));
  }
  void setRemoteObjectInterface(XPCInterfacePtr interface);
  XPCInterfacePtr remoteObjectInterface() const;

  // Before resume().
  void setLimits(Limits limits);
  Limits limits() const;

  void setInterruptionHandler(Handler handler);
  Handler interruptionHandler() const;
  void setInvalidationHandler(Handler handler);
  Handler invalidationHandler() const;

  // Starts the conversation. Once; later calls do nothing.
  void resume();
  // Ends the connection for good (see above): from its return on, no call
  // or reply is delivered on this connection but the invalidation handler.
  // Any number of times.
  void invalidate();
  bool isInvalidated() const;

  // A proxy of the peer's object, by the remote interface. With an error
  // handler, a call that is dropped or loses its reply runs the handler
  // once instead of its reply block.
  template <class I>
  XPCProxy<I> remoteObjectProxy();
  template <class I>
  XPCProxy<I> remoteObjectProxyWithErrorHandler(ErrorHandler handler);

  // For XPCProxy: sends the call of `method`, whose arguments `encode`
  // writes; `reply` (may be empty) decodes its reply.
  void sendCall(const XPCMethod& method, const std::function<void(KeyedArchiver&)>& encode, ReplyDecoder reply,
                ErrorHandler onError);

  // For XPCListener: the end of an accepted socket.
  static std::shared_ptr<XPCConnection> accepted(std::string name, std::unique_ptr<FileDescriptor> socket,
                                                 uid_t uid, pid_t pid);

 private:
  struct Link;
  struct Pending {
    std::uint64_t generation;
    ReplyDecoder decode;
    ErrorHandler onError;
  };
  enum class State { idle, resumed, invalidated };

  XPCConnection(std::string name, bool byName);
  void setExportedObject(std::shared_ptr<void> object, std::type_index type);
  std::shared_ptr<Link> connectLocked(std::unique_lock<std::mutex>& lock);
  void startReading(const std::shared_ptr<Link>& link);
  void readLoop(const std::shared_ptr<Link>& link);
  void handleFrame(const std::shared_ptr<Link>& link, Data frame);
  void handleCall(const std::shared_ptr<Link>& link, KeyedUnarchiver& unarchiver, std::size_t size);
  void handleReply(const std::shared_ptr<Link>& link, KeyedUnarchiver& unarchiver);
  XPCReplySender replySender(std::uint64_t generation, std::uint64_t replyID);
  void sendFrame(const std::shared_ptr<Link>& link, Data frame);
  void writeQueued(const std::shared_ptr<Link>& link);
  void drop(const std::shared_ptr<Link>& link, const std::string& why);
  void linkEnded(const std::shared_ptr<Link>& link);
  void failPending(Pending pending, ErrorCode code);
  void finish();
  bool reserveInbound(std::size_t size, std::size_t limit);
  std::string describePeer() const;

  const std::string name_;
  const bool byName_;
  const DispatchQueuePtr queue_;
  const DispatchQueuePtr sideQueue_;
  const DispatchQueuePtr readQueue_;
  const DispatchQueuePtr writeQueue_;
  std::atomic<std::uint64_t> nextReplyID_{1};
  std::atomic<std::size_t> inboundBytes_{0};
  std::atomic<bool> invalidateCalled_{false};

  mutable std::mutex mutex_;
  State state_ = State::idle;
  Limits limits_;
  bool finishing_ = false;
  std::shared_ptr<XPCConnection> self_;  // while resumed
  std::shared_ptr<Link> link_;
  std::uint64_t generation_ = 0;
  uid_t peerUID_ = static_cast<uid_t>(-1);
  pid_t peerPID_ = -1;
  std::unordered_map<std::uint64_t, Pending> pending_;
  XPCInterfacePtr exportedInterface_;
  std::shared_ptr<void> exportedObject_;
  std::type_index exportedType_{typeid(void)};
  XPCInterfacePtr remoteInterface_;
  Handler interruptionHandler_;
  Handler invalidationHandler_;
};

}  // namespace vozi::platform

#include "platform/services/XPCProxy.h"

namespace vozi::platform {

template <class I>
XPCProxy<I> XPCConnection::remoteObjectProxy() {
  return XPCProxy<I>(shared_from_this(), nullptr);
}

template <class I>
XPCProxy<I> XPCConnection::remoteObjectProxyWithErrorHandler(ErrorHandler handler) {
  return XPCProxy<I>(shared_from_this(), std::move(handler));
}

}  // namespace vozi::platform
