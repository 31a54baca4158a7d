#include "agent/UserAgentStandIn.h"


#include "ipc/XPCServices.h"
#include "ipc/ZOLAlertNotification.h"
#include "ipc/ZOLCustomNotification.h"
#include "ipc/ZOLDefaultNotification.h"

namespace vozi::agent {

namespace {

std::string orDash(const std::optional<std::string>& text) { return text ? *text : "-"; }

std::string_view classOf(const ZOLNotification& notification) {
  if (dynamic_cast<const ZOLAlertNotification*>(&notification)) return ZOLAlertNotification::kClassName;
  if (dynamic_cast<const ZOLDefaultNotification*>(&notification)) return ZOLDefaultNotification::kClassName;
  if (dynamic_cast<const ZOLCustomNotification*>(&notification)) return ZOLCustomNotification::kClassName;
  return ZOLNotification::kClassName;
}

}  // namespace

std::string describeNotificationCall(const std::string& selector, const ZOLNotificationPtr& notification,
                                     std::optional<std::int64_t> priority) {
  std::string line = selector;
  if (!notification) return line + " nil";
  line += " " + notification->identifier() + " " + std::string(classOf(*notification));
  if (const auto* plain = dynamic_cast<const ZOLDefaultNotification*>(notification.get())) {
    line += " title=" + orDash(plain->title()) + " text=" + orDash(plain->inforamtiveText());
  } else if (const auto* custom = dynamic_cast<const ZOLCustomNotification*>(notification.get())) {
    line += " html=" + orDash(custom->htmlStringContent());
  }
  if (priority) line += " priority=" + std::to_string(*priority);
  return line;
}

std::shared_ptr<UserAgentStandIn> UserAgentStandIn::make(std::string userName, LineSink sink) {
  return std::shared_ptr<UserAgentStandIn>(new UserAgentStandIn(std::move(userName), std::move(sink)));
}

UserAgentStandIn::UserAgentStandIn(std::string userName, LineSink sink)
    : userName_(std::move(userName)), sink_(std::move(sink)) {}

void UserAgentStandIn::setSilent(bool silent) {
  std::lock_guard lock(mutex_);
  silent_ = silent;
}

void UserAgentStandIn::setFolderAnswer(std::optional<std::string> treePath) {
  std::lock_guard lock(mutex_);
  folderAnswer_ = std::move(treePath);
}

void UserAgentStandIn::start() {
  auto connection = platform::XPCConnection::connectToService(kUserAgentClientServiceName);
  connection->setExportedInterface(userAgentInterface());
  connection->setExportedObject<UserAgent>(shared_from_this());
  connection->setRemoteObjectInterface(userAgentClientInterface());
  // The daemon went away: the next call connects anew.
  connection->setInterruptionHandler([weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->setupConnectionLater();
  });
  {
    std::lock_guard lock(mutex_);
    stopped_ = false;
    connection_ = connection;
  }
  connection->resume();
  setupConnection();
}

void UserAgentStandIn::stop() {
  std::shared_ptr<platform::XPCConnection> connection;
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    connection = std::move(connection_);
  }
  if (connection) connection->invalidate();
}

std::shared_ptr<platform::XPCConnection> UserAgentStandIn::connection() const {
  std::lock_guard lock(mutex_);
  return connection_;
}

std::optional<platform::XPCProxy<UserAgentClient>> UserAgentStandIn::daemon() const {
  auto current = connection();
  if (!current) return std::nullopt;
  return current->remoteObjectProxy<UserAgentClient>();
}

void UserAgentStandIn::setupConnection() {
  auto current = connection();
  if (!current) return;
  // A call that cannot reach the daemon (not back yet) is tried again.
  current
      ->remoteObjectProxyWithErrorHandler<UserAgentClient>([weak = weak_from_this()](const platform::Error&) {
        if (const auto self = weak.lock()) self->setupConnectionLater();
      })
      .call<&UserAgentClient::setupConnection>();
}

void UserAgentStandIn::setupConnectionLater() {
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
  }
  platform::DispatchQueue::global()->asyncAfter(kReconnectDelay, [weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->setupConnection();
  });
}

ZOLNotificationPtr UserAgentStandIn::heldNotification(const std::string& identifier) const {
  std::lock_guard lock(mutex_);
  const auto found = notifications_.find(identifier);
  return found == notifications_.end() ? nullptr : found->second;
}

bool UserAgentStandIn::sendAction(const std::string& identifier) {
  auto notification = heldNotification(identifier);
  auto proxy = daemon();
  if (!notification || !proxy) return false;
  proxy->call<&ZOLINotificationHandler::handleActionForNotification>(notification);
  return true;
}

bool UserAgentStandIn::sendClose(const std::string& identifier) {
  auto notification = heldNotification(identifier);
  auto proxy = daemon();
  if (!notification || !proxy) return false;
  proxy->call<&ZOLINotificationHandler::handleCloseForNotification>(notification);
  return true;
}

void UserAgentStandIn::sendEvent(GAEventRecordPtr event) {
  if (auto proxy = daemon()) proxy->call<&IZOLGAEventSender::sendWithEvent>(std::move(event));
}

void UserAgentStandIn::retrieveUserName(NameReply reply) {
  {
    std::lock_guard lock(mutex_);
    if (silent_) return;
  }
  if (reply) reply(userName_);
}

void UserAgentStandIn::answerFolder(const std::string& inHome, const FolderReply& reply) {
  std::optional<std::string> answer;
  {
    std::lock_guard lock(mutex_);
    if (silent_) return;
    answer = folderAnswer_;
  }
  if (!answer) answer = "/Users/" + userName_ + inHome;
  if (reply) reply(platform::URL::fileURLWithPath(*answer, true));
}

void UserAgentStandIn::retrieveTrashDirectory(FolderReply reply) { answerFolder("/.Trash", reply); }
void UserAgentStandIn::retrieveLibraryDirectory(FolderReply reply) { answerFolder("/Library", reply); }
void UserAgentStandIn::retrieveCachesDirectory(FolderReply reply) { answerFolder("/Library/Caches", reply); }

void UserAgentStandIn::updateITunesLibrary() { print("updateITunesLibrary"); }

void UserAgentStandIn::registerRemoteHandlerForNotificationIdentifier(std::string identifier) {
  print("registerRemoteHandlerForNotificationIdentifier: " + identifier);
}

void UserAgentStandIn::unregisterRemoteHandlerForNotificationIdentifier(std::string identifier) {
  print("unregisterRemoteHandlerForNotificationIdentifier: " + identifier);
}

void UserAgentStandIn::scheduleWithNotification(ZOLNotificationPtr notification, std::int64_t priority) {
  remember(notification);
  print(describeNotificationCall("scheduleWithNotification:withPriority:", notification, priority));
}

void UserAgentStandIn::deliverWithNotification(ZOLNotificationPtr notification) {
  remember(notification);
  print(describeNotificationCall("deliverWithNotification:", notification, std::nullopt));
}

void UserAgentStandIn::removeWithNotificationIdentifier(std::string identifier) {
  {
    std::lock_guard lock(mutex_);
    notifications_.erase(identifier);
  }
  print("removeWithNotificationIdentifier: " + identifier);
}

void UserAgentStandIn::remember(const ZOLNotificationPtr& notification) {
  if (!notification) return;
  std::lock_guard lock(mutex_);
  notifications_[notification->identifier()] = notification;
}

void UserAgentStandIn::print(const std::string& line) {
  if (sink_) sink_(line);
}

}  // namespace vozi::agent
