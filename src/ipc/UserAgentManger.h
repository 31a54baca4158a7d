#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ipc/IUserAgentLink.h"
#include "ipc/IZOLGAEventSender.h"
#include "ipc/UserAgent.h"
#include "ipc/UserAgentClient.h"
#include "ipc/ZOLINotificationCenter.h"
#include "ipc/ZOLINotificationHandler.h"
#include "platform/DispatchQueue.h"
#include "platform/Result.h"
#include "platform/services/XPCConnection.h"
#include "platform/services/XPCListener.h"

namespace vozi {

// A reply awaited from the agent: the closure fails the ask, and the
// connection it was sent on tells which ending fails it.
class ClosureHolder {
 public:
  using Closure = std::function<void(const platform::Error& error)>;
  ClosureHolder(Closure closure, std::uint64_t connection) : closure(std::move(closure)), connection(connection) {}

  const Closure closure;
  const std::uint64_t connection;
};

// The daemon's end of the link to the per-user agent, which runs in the
// logged-in user's session and connects to kUserAgentClientServiceName
// (any uid may: that uid is the session user). It
// - answers the session user's name and folders (blocking asks, each sent
//   to the agent and waited for at most the ask bound; the answers are
//   checked before they are handed out, see below);
// - is the daemon's notification centre: schedule, deliver and the handler
//   registrations go on to the agent, queued while none is connected and
//   sent in order once one is; the agent's reports of the user's actions
//   reach the handler registered under the notification's identifier;
// - passes the agent's analytics events on to the event sender;
// - tells the named services who the session user is (sessionUid).
//
// What the agent answers comes from a user's process and becomes a place
// the root daemon walks and deletes in. A folder is taken only when it is a
// canonical tree path strictly inside "/Users/<name>", opens from the host
// root one component at a time with no link on the way, is a folder, and
// both it and "/Users/<name>" belong to the agent's uid; a name only when
// it is a valid user name whose "/Users/<name>" passes the same test.
// Anything else fails the ask with noUserContext and a log line. Folders
// are handed out as host paths.
//
// One serial queue ("did.oz.arur.UserAgentManger-syncQueue") owns the
// current connection and the queued calls; the awaited replies have a lock. An ending
// of a connection fails only the asks sent on it, and only an ending of the
// current connection forgets the agent. An ask made on that queue fails at
// once (it would wait for itself). Every public method may be called from
// any other thread.
class UserAgentManger : public ZOLINotificationCenter,
                        public IZOLGAEventSender,
                        public ZOLINotificationHandler,
                        public IUserAgentLink,
                        public std::enable_shared_from_this<UserAgentManger> {
 public:
  static constexpr std::chrono::milliseconds kDefaultAskBound{10000};
  static constexpr const char* kQueueLabel = "did.oz.arur.UserAgentManger-syncQueue";

  // The daemon's one manager, made on first use.
  static const std::shared_ptr<UserAgentManger>& shared();
  // Tests make their own, with their own bound.
  static std::shared_ptr<UserAgentManger> make(std::chrono::milliseconds askBound = kDefaultAskBound);
  ~UserAgentManger() override;

  // Listens on kUserAgentClientServiceName with this manager as the
  // listener's delegate. Once.
  platform::Result<void> startListening();
  // Stops listening and ends the current connection (tests, and the
  // process's end).
  void stopListening();
  // The listener's delegate: sets up and takes an accepted connection as
  // the current one. Always true.
  bool acceptConnection(const std::shared_ptr<platform::XPCConnection>& connection);

  void setGAEventSender(std::shared_ptr<IZOLGAEventSender> sender);

  // Blocking asks.
  platform::Result<std::string> userName();
  platform::Result<std::string> libraryDirectory() override;
  platform::Result<std::string> cachesDirectory() override;
  platform::Result<std::string> trashDirectory() override;
  // Sent on the current agent's proxy, neither queued nor answered.
  void updateITunesLibrary() override;

  // The current agent's proxy; none while no agent is connected.
  std::optional<platform::XPCProxy<UserAgent>> userAgent() const;
  // The uid of the current agent: the session user. None without one.
  std::optional<uid_t> sessionUid() const override;

  // ZOLINotificationCenter.
  void registerHandler(std::shared_ptr<ZOLINotificationHandler> handler, std::string identifier) override;
  void unregisterHandler(std::shared_ptr<ZOLINotificationHandler> handler, std::string identifier) override;
  void scheduleWithNotification(ZOLNotificationPtr notification, std::int64_t priority) override;
  void deliverWithNotification(ZOLNotificationPtr notification) override;
  void removeWithNotificationIdentifier(std::string identifier) override;

  // What the agent sends, passed on by the exported object.
  void sendWithEvent(GAEventRecordPtr event) override;
  void handleActionForNotification(ZOLNotificationPtr notification) override;
  void handleCloseForNotification(ZOLNotificationPtr notification) override;

  // For tests.
  const platform::DispatchQueuePtr& queue() const { return queue_; }
  std::size_t pendingBlockCount() const;
  std::size_t replyCount() const;
  std::shared_ptr<platform::XPCConnection> connection() const;

 private:
  struct Answer {
    std::string text;
    uid_t peer = 0;
  };
  using Retrieve = std::function<void(const platform::XPCProxy<UserAgent>& proxy,
                                      std::function<void(std::optional<std::string>)> reply)>;
  using Completion = std::function<void(platform::Result<Answer>)>;
  struct Current {
    std::shared_ptr<platform::XPCConnection> connection;
    std::uint64_t id = 0;
    std::optional<platform::XPCProxy<UserAgent>> userAgent;
  };

  explicit UserAgentManger(std::chrono::milliseconds askBound);

  platform::Result<Answer> ask(const char* what, Retrieve retrieve);
  platform::Result<std::string> askFolder(const char* what, Retrieve retrieve);
  // Sends the ask on the current connection; the holder it keeps in
  // replies_ (none when no agent is connected).
  std::shared_ptr<ClosureHolder> retrieve(const Retrieve& retrieve, const Completion& completion);
  void performBlock(std::function<void(const platform::XPCProxy<UserAgent>& agent)> block);
  // Fails the asks sent on the connection. On queue_ only.
  void announceConnectionError(std::uint64_t connection);
  void setCurrent(Current current);
  std::shared_ptr<ZOLINotificationHandler> handlerFor(const ZOLNotificationPtr& notification) const;

  const std::chrono::milliseconds askBound_;
  const platform::DispatchQueuePtr queue_;

  // Owned by queue_; `current_` is also read from other threads, so its
  // writes (on queue_) and every read hold currentMutex_.
  mutable std::mutex currentMutex_;
  Current current_;
  std::vector<std::function<void(const platform::XPCProxy<UserAgent>&)>> pendingBlocks_;
  // The asks awaiting the agent. An ask is sent from the asking thread and
  // its reply taken on the connection's reading queue, without a hop to
  // queue_: the set has a lock of its own.
  mutable std::mutex repliesMutex_;
  std::unordered_set<std::shared_ptr<ClosureHolder>> replies_;
  // Numbers each accepted connection, so its handlers can tell it apart.
  std::atomic<std::uint64_t> lastConnectionId_{0};

  mutable std::mutex handlersMutex_;
  std::unordered_map<std::string, std::shared_ptr<ZOLINotificationHandler>> handlers_;
  std::shared_ptr<IZOLGAEventSender> gaEventSender_;

  std::mutex listenerMutex_;
  std::shared_ptr<platform::XPCListener> listener_;
};

}  // namespace vozi
