#include "ipc/UserAgentManger.h"

#include "common/MLog.h"
#include "ipc/XPCServices.h"
#include "platform/DispatchSemaphore.h"
#include "platform/FileSystemLayout.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/TreePath.h"

namespace vozi {

namespace {

using platform::PathComponents;
using platform::Result;
using AgentProxy = platform::XPCProxy<UserAgent>;

constexpr const char* kUsersFolder = "/Users";

platform::Error noUserContext() { return UserAgentManagerError::make(); }

// The agent's object sees the manager without keeping it: the manager holds
// the connection, the connection its exported object.
class UserAgentClientImp : public UserAgentClient {
 public:
  explicit UserAgentClientImp(std::weak_ptr<UserAgentManger> manager) : manager_(std::move(manager)) {}

  void setupConnection() override { MLog("setup connection with userAgent"); }
  void sendWithEvent(GAEventRecordPtr event) override {
    if (auto manager = manager_.lock()) manager->sendWithEvent(std::move(event));
  }
  void handleActionForNotification(ZOLNotificationPtr notification) override {
    if (auto manager = manager_.lock()) manager->handleActionForNotification(std::move(notification));
  }
  void handleCloseForNotification(ZOLNotificationPtr notification) override {
    if (auto manager = manager_.lock()) manager->handleCloseForNotification(std::move(notification));
  }

 private:
  std::weak_ptr<UserAgentManger> manager_;
};

// A folder of "/Users/<name>" as a host path, when it opens from the host
// root without a link on the way and belongs to `owner`.
Result<std::string> ownedFolder(const std::string& treePath, uid_t owner) {
  const std::string path = platform::HostRoot::resolve(treePath);
  auto folder = platform::TreePath::openFolder(path);
  if (!folder) return folder.error();
  if (folder->owner != owner) {
    return platform::Error(UserAgentManagerError::kDomain, UserAgentManagerError::noUserContext,
                           {{"NSLocalizedDescription", platform::Value(treePath + " belongs to uid " +
                                                                        std::to_string(folder->owner))}});
  }
  return path;
}

Result<std::string> refuse(const char* what, const std::string& answer, uid_t peer, const std::string& why) {
  MLog(std::string("Refused the agent's ") + what + " \"" + answer + "\" (uid " + std::to_string(peer) + "): " + why);
  return noUserContext();
}

Result<std::string> trustedUserName(const std::string& name, uid_t peer) {
  if (!platform::FileSystemLayout::isValidUserName(name)) return refuse("user name", name, peer, "not a user name");
  auto home = ownedFolder(PathComponents::appending(kUsersFolder, name), peer);
  if (!home) return refuse("user name", name, peer, home.error().localizedDescription());
  return name;
}

Result<std::string> trustedFolder(const char* what, const std::string& answer, uid_t peer) {
  const std::string treePath(PathComponents::withoutTrailingSlashes(answer));
  if (!PathComponents::isCanonicalAbsolute(treePath)) return refuse(what, answer, peer, "not a canonical path");
  const std::string users = std::string(kUsersFolder) + "/";
  if (treePath.compare(0, users.size(), users) != 0) return refuse(what, answer, peer, "not in a user's folder");
  const std::size_t nameEnd = treePath.find('/', users.size());
  if (nameEnd == std::string::npos) return refuse(what, answer, peer, "not inside a user's folder");
  const std::string name = treePath.substr(users.size(), nameEnd - users.size());
  if (!platform::FileSystemLayout::isValidUserName(name)) return refuse(what, answer, peer, "not a user's folder");
  // One open from the host root, which reports the owner of every folder
  // on the way: [root, "Users", <name>, ..., the folder].
  const std::string path = platform::HostRoot::resolve(treePath);
  auto folder = platform::TreePath::openFolder(path, platform::TreePath::Owners::report);
  if (!folder) return refuse(what, answer, peer, folder.error().localizedDescription());
  constexpr std::size_t kHomeIndex = 2;
  if (folder->owners.size() <= kHomeIndex || folder->owners[kHomeIndex] != peer) {
    return refuse(what, answer, peer, "the user's folder belongs to another uid");
  }
  if (folder->owner != peer) return refuse(what, answer, peer, "it belongs to uid " + std::to_string(folder->owner));
  return path;
}

std::function<void(std::optional<platform::URL>)> folderReply(std::function<void(std::optional<std::string>)> reply) {
  return [reply = std::move(reply)](std::optional<platform::URL> url) {
    if (url && url->isFileURL()) {
      reply(url->path());
    } else {
      reply(std::nullopt);
    }
  };
}

}  // namespace

const std::shared_ptr<UserAgentManger>& UserAgentManger::shared() {
  static const std::shared_ptr<UserAgentManger> manager = make();
  return manager;
}

std::shared_ptr<UserAgentManger> UserAgentManger::make(std::chrono::milliseconds askBound) {
  return std::shared_ptr<UserAgentManger>(new UserAgentManger(askBound));
}

UserAgentManger::UserAgentManger(std::chrono::milliseconds askBound)
    : askBound_(askBound), queue_(platform::DispatchQueue::serial(kQueueLabel)) {}

UserAgentManger::~UserAgentManger() {
  std::shared_ptr<platform::XPCListener> listener;
  {
    std::lock_guard lock(listenerMutex_);
    listener = std::move(listener_);
  }
  if (listener) listener->invalidate();
  if (current_.connection) current_.connection->invalidate();
}

Result<void> UserAgentManger::startListening() {
  std::lock_guard lock(listenerMutex_);
  if (listener_) return platform::Error(UserAgentManagerError::kDomain, UserAgentManagerError::noUserContext);
  auto listener = platform::XPCListener::make(kUserAgentClientServiceName);
  listener->setNewConnectionHandler(
      [weak = weak_from_this()](const std::shared_ptr<platform::XPCConnection>& connection) {
        const auto self = weak.lock();
        return self && self->acceptConnection(connection);
      });
  if (auto started = listener->resume(); !started) return started.error();
  listener_ = std::move(listener);
  return {};
}

void UserAgentManger::stopListening() {
  std::shared_ptr<platform::XPCListener> listener;
  {
    std::lock_guard lock(listenerMutex_);
    listener = std::move(listener_);
  }
  if (listener) listener->invalidate();
  if (auto current = connection()) current->invalidate();
}

bool UserAgentManger::acceptConnection(const std::shared_ptr<platform::XPCConnection>& connection) {
  const std::uint64_t id = ++lastConnectionId_;
  connection->setExportedInterface(userAgentClientInterface());
  connection->setExportedObject<UserAgentClient>(std::make_shared<UserAgentClientImp>(weak_from_this()));
  connection->setRemoteObjectInterface(userAgentInterface());
  // Each ending acts for its own connection only: it fails the asks sent on
  // it, and only the current connection's invalidation forgets the agent.
  connection->setInvalidationHandler([weak = weak_from_this(), id] {
    MLog("UserAgentClient connection did invalidate");
    const auto self = weak.lock();
    if (!self) return;
    self->queue_->async([self, id] {
      if (self->current_.id == id) self->setCurrent(Current{});
      self->announceConnectionError(id);
    });
  });
  connection->setInterruptionHandler([weak = weak_from_this(), id] {
    MLog("interruption Handler");
    const auto self = weak.lock();
    if (!self) return;
    self->queue_->async([self, id] { self->announceConnectionError(id); });
  });
  connection->resume();
  queue_->async([self = shared_from_this(), connection, id] {
    self->setCurrent(Current{connection, id, connection->remoteObjectProxy<UserAgent>()});
    auto blocks = std::move(self->pendingBlocks_);
    self->pendingBlocks_.clear();
    for (const auto& block : blocks) {
      const auto agent = self->userAgent();
      if (agent) block(*agent);
    }
  });
  return true;
}

void UserAgentManger::setCurrent(Current current) {
  std::lock_guard lock(currentMutex_);
  current_ = std::move(current);
}

std::optional<AgentProxy> UserAgentManger::userAgent() const {
  std::lock_guard lock(currentMutex_);
  return current_.userAgent;
}

std::shared_ptr<platform::XPCConnection> UserAgentManger::connection() const {
  std::lock_guard lock(currentMutex_);
  return current_.connection;
}

std::optional<uid_t> UserAgentManger::sessionUid() const {
  std::lock_guard lock(currentMutex_);
  if (!current_.connection || current_.connection->isInvalidated()) return std::nullopt;
  return current_.connection->peerUID();
}

void UserAgentManger::setGAEventSender(std::shared_ptr<IZOLGAEventSender> sender) {
  std::lock_guard lock(handlersMutex_);
  gaEventSender_ = std::move(sender);
}

// Asks -------------------------------------------------------------------

Result<UserAgentManger::Answer> UserAgentManger::ask(const char* what, Retrieve retrieveStep) {
  if (queue_->isCurrent()) {
    MLog(std::string("Asked the user agent for the ") + what + " on its own queue: refused");
    return noUserContext();
  }
  // Whichever comes first, the answer, a failure or the bound, decides; a
  // later one finds the ask done and changes nothing.
  struct State {
    std::mutex mutex;
    std::optional<Result<Answer>> outcome;
    platform::DispatchSemaphore done{0};
  };
  auto state = std::make_shared<State>();
  Completion complete = [state](Result<Answer> outcome) {
    std::lock_guard lock(state->mutex);
    if (state->outcome) return;
    state->outcome = std::move(outcome);
    state->done.signal();
  };
  const auto holder = retrieve(retrieveStep, complete);
  if (!state->done.wait(askBound_)) {
    complete(noUserContext());
    MLog(std::string("The user agent did not answer the ") + what + " in time");
    if (holder) {
      std::lock_guard lock(repliesMutex_);
      replies_.erase(holder);
    }
  }
  std::lock_guard lock(state->mutex);
  return std::move(*state->outcome);
}

std::shared_ptr<ClosureHolder> UserAgentManger::retrieve(const Retrieve& retrieveStep, const Completion& completion) {
  const Current current = [&] {
    std::lock_guard lock(currentMutex_);
    return current_;
  }();
  if (!current.userAgent) {
    completion(noUserContext());
    return nullptr;
  }
  auto holder = std::make_shared<ClosureHolder>(
      [completion](const platform::Error& error) { completion(error); }, current.id);
  {
    std::lock_guard lock(repliesMutex_);
    replies_.insert(holder);
  }
  // The reply, or the transport's word that none will come (the call was
  // dropped, or its connection ended first), completes the ask once: only
  // the one that takes the holder out of the set acts.
  const std::weak_ptr<UserAgentManger> weak = weak_from_this();
  auto takeHolder = [weak, holder] {
    const auto self = weak.lock();
    if (!self) return false;
    std::lock_guard lock(self->repliesMutex_);
    return self->replies_.erase(holder) > 0;
  };
  const uid_t peer = current.connection->peerUID();
  auto proxy = current.connection->remoteObjectProxyWithErrorHandler<UserAgent>(
      [takeHolder, completion](const platform::Error&) {
        if (takeHolder()) completion(noUserContext());
      });
  retrieveStep(proxy, [takeHolder, completion, peer](std::optional<std::string> value) {
    if (!takeHolder()) return;  // the ask already failed or gave up
    if (!value) {
      completion(noUserContext());
    } else {
      completion(Answer{std::move(*value), peer});
    }
  });
  return holder;
}

void UserAgentManger::announceConnectionError(std::uint64_t connection) {
  std::vector<std::shared_ptr<ClosureHolder>> failed;
  {
    std::lock_guard lock(repliesMutex_);
    for (auto it = replies_.begin(); it != replies_.end();) {
      if ((*it)->connection == connection) {
        failed.push_back(*it);
        it = replies_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const auto& holder : failed) holder->closure(noUserContext());
}

Result<std::string> UserAgentManger::userName() {
  auto answer = ask("user name", [](const AgentProxy& agent, std::function<void(std::optional<std::string>)> reply) {
    agent.call<&UserAgent::retrieveUserName>(std::move(reply));
  });
  if (!answer) return answer.error();
  return trustedUserName(answer->text, answer->peer);
}

Result<std::string> UserAgentManger::askFolder(const char* what, Retrieve retrieveStep) {
  auto answer = ask(what, std::move(retrieveStep));
  if (!answer) return answer.error();
  return trustedFolder(what, answer->text, answer->peer);
}

Result<std::string> UserAgentManger::libraryDirectory() {
  return askFolder("Library folder", [](const AgentProxy& agent, std::function<void(std::optional<std::string>)> reply) {
    agent.call<&UserAgent::retrieveLibraryDirectory>(folderReply(std::move(reply)));
  });
}

Result<std::string> UserAgentManger::cachesDirectory() {
  return askFolder("Caches folder", [](const AgentProxy& agent, std::function<void(std::optional<std::string>)> reply) {
    agent.call<&UserAgent::retrieveCachesDirectory>(folderReply(std::move(reply)));
  });
}

Result<std::string> UserAgentManger::trashDirectory() {
  return askFolder("Trash folder", [](const AgentProxy& agent, std::function<void(std::optional<std::string>)> reply) {
    agent.call<&UserAgent::retrieveTrashDirectory>(folderReply(std::move(reply)));
  });
}

void UserAgentManger::updateITunesLibrary() {
  if (auto agent = userAgent()) agent->call<&UserAgent::updateITunesLibrary>();
}

// Notification centre ----------------------------------------------------

void UserAgentManger::performBlock(std::function<void(const AgentProxy& agent)> block) {
  queue_->async([weak = weak_from_this(), block = std::move(block)] {
    const auto self = weak.lock();
    if (!self) return;
    if (const auto agent = self->userAgent()) {
      block(*agent);
    } else {
      self->pendingBlocks_.push_back(block);
    }
  });
}

void UserAgentManger::registerHandler(std::shared_ptr<ZOLINotificationHandler> handler, std::string identifier) {
  {
    std::lock_guard lock(handlersMutex_);
    handlers_[identifier] = std::move(handler);
  }
  performBlock([identifier](const AgentProxy& agent) {
    agent.call<&ZOLINotificationRemoteHandlerRegistration::registerRemoteHandlerForNotificationIdentifier>(identifier);
  });
}

void UserAgentManger::unregisterHandler(std::shared_ptr<ZOLINotificationHandler>, std::string identifier) {
  {
    std::lock_guard lock(handlersMutex_);
    handlers_.erase(identifier);
  }
  performBlock([identifier](const AgentProxy& agent) {
    agent.call<&ZOLINotificationRemoteHandlerRegistration::unregisterRemoteHandlerForNotificationIdentifier>(
        identifier);
  });
}

void UserAgentManger::scheduleWithNotification(ZOLNotificationPtr notification, std::int64_t priority) {
  performBlock([notification, priority](const AgentProxy& agent) {
    agent.call<&ZOLINotificationScheduler::scheduleWithNotification>(notification, priority);
  });
}

void UserAgentManger::deliverWithNotification(ZOLNotificationPtr notification) {
  performBlock([notification](const AgentProxy& agent) {
    agent.call<&ZOLINotificationScheduler::deliverWithNotification>(notification);
  });
}

void UserAgentManger::removeWithNotificationIdentifier(std::string identifier) {
  performBlock([identifier](const AgentProxy& agent) {
    agent.call<&ZOLINotificationScheduler::removeWithNotificationIdentifier>(identifier);
  });
}

// From the agent ---------------------------------------------------------

void UserAgentManger::sendWithEvent(GAEventRecordPtr event) {
  std::shared_ptr<IZOLGAEventSender> sender;
  {
    std::lock_guard lock(handlersMutex_);
    sender = gaEventSender_;
  }
  if (sender) sender->sendWithEvent(std::move(event));
}

std::shared_ptr<ZOLINotificationHandler> UserAgentManger::handlerFor(const ZOLNotificationPtr& notification) const {
  if (!notification) return nullptr;
  std::lock_guard lock(handlersMutex_);
  const auto found = handlers_.find(notification->identifier());
  return found == handlers_.end() ? nullptr : found->second;
}

void UserAgentManger::handleActionForNotification(ZOLNotificationPtr notification) {
  if (auto handler = handlerFor(notification)) handler->handleActionForNotification(std::move(notification));
}

void UserAgentManger::handleCloseForNotification(ZOLNotificationPtr notification) {
  if (auto handler = handlerFor(notification)) handler->handleCloseForNotification(std::move(notification));
}

// For tests ----------------------------------------------------------------

std::size_t UserAgentManger::pendingBlockCount() const {
  return queue_->syncResult([this] { return pendingBlocks_.size(); });
}

std::size_t UserAgentManger::replyCount() const {
  std::lock_guard lock(repliesMutex_);
  return replies_.size();
}

}  // namespace vozi
