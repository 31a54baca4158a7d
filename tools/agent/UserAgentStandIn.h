#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ipc/UserAgent.h"
#include "ipc/UserAgentClient.h"
#include "platform/services/XPCConnection.h"

namespace vozi::agent {

// The per-user agent's part, for the demo and the tests: it connects to the
// daemon's agent service, exports UserAgent, and answers the name of its
// user and that user's Library, Caches and Trash folders as tree paths
// ("/Users/bob/Library"). Each notification call it receives, and each
// media-library refresh, becomes one line for its sink:
//   "<selector> <identifier> <class> title=<...> text=<...> priority=<n>"
// It keeps the notifications it was given, so that a user's action on one
// can be sent back (sendAction, sendClose).
//
// When its connection is interrupted it calls setupConnection again, which
// connects anew, until the daemon is back or stop() is called.
class UserAgentStandIn : public UserAgent, public std::enable_shared_from_this<UserAgentStandIn> {
 public:
  using LineSink = std::function<void(const std::string& line)>;

  static std::shared_ptr<UserAgentStandIn> make(std::string userName, LineSink sink);

  // Never replies to an ask (a hung agent).
  void setSilent(bool silent);
  // Every folder ask answers this tree path instead.
  void setFolderAnswer(std::optional<std::string> treePath);

  // Connects and calls setupConnection.
  void start();
  // Ends the connection for good.
  void stop();
  std::shared_ptr<platform::XPCConnection> connection() const;

  // The user's action on, or closing of, a notification received earlier;
  // false when none with that identifier was received.
  bool sendAction(const std::string& identifier);
  bool sendClose(const std::string& identifier);
  void sendEvent(GAEventRecordPtr event);

  // UserAgent.
  void retrieveUserName(NameReply reply) override;
  void retrieveTrashDirectory(FolderReply reply) override;
  void retrieveLibraryDirectory(FolderReply reply) override;
  void retrieveCachesDirectory(FolderReply reply) override;
  void updateITunesLibrary() override;
  void registerRemoteHandlerForNotificationIdentifier(std::string identifier) override;
  void unregisterRemoteHandlerForNotificationIdentifier(std::string identifier) override;
  void scheduleWithNotification(ZOLNotificationPtr notification, std::int64_t priority) override;
  void deliverWithNotification(ZOLNotificationPtr notification) override;
  void removeWithNotificationIdentifier(std::string identifier) override;

 protected:
  UserAgentStandIn(std::string userName, LineSink sink);

 private:
  void answerFolder(const std::string& inHome, const FolderReply& reply);
  void remember(const ZOLNotificationPtr& notification);
  ZOLNotificationPtr heldNotification(const std::string& identifier) const;
  void print(const std::string& line);
  void setupConnection();
  void setupConnectionLater();
  std::optional<platform::XPCProxy<UserAgentClient>> daemon() const;

  const std::string userName_;
  const LineSink sink_;
  mutable std::mutex mutex_;
  bool silent_ = false;
  bool stopped_ = false;
  std::optional<std::string> folderAnswer_;
  // Between attempts to reach a daemon that is not back yet.
  static constexpr std::chrono::milliseconds kReconnectDelay{200};
  std::shared_ptr<platform::XPCConnection> connection_;
  std::map<std::string, ZOLNotificationPtr> notifications_;
};

// One line describing a notification call (without the trailing newline).
std::string describeNotificationCall(const std::string& selector, const ZOLNotificationPtr& notification,
                                     std::optional<std::int64_t> priority);

}  // namespace vozi::agent
