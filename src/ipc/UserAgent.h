#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ipc/ZOLINotificationRemoteHandlerRegistration.h"
#include "ipc/ZOLINotificationScheduler.h"
#include "platform/URL.h"
#include "platform/services/XPCInterface.h"

namespace vozi {

// What the per-user agent exports on its connection to
// kUserAgentClientServiceName; the daemon calls it through a proxy. The
// answers come in reply blocks (nil when the agent sends none); they are
// the agent's word and are checked by whoever uses them.
class UserAgent : public virtual ZOLINotificationRemoteHandlerRegistration, public virtual ZOLINotificationScheduler {
 public:
  using NameReply = std::function<void(std::optional<std::string> userName)>;
  using FolderReply = std::function<void(std::optional<platform::URL> folder)>;

  virtual void retrieveUserName(NameReply reply) = 0;
  virtual void retrieveTrashDirectory(FolderReply reply) = 0;
  virtual void retrieveLibraryDirectory(FolderReply reply) = 0;
  virtual void retrieveCachesDirectory(FolderReply reply) = 0;
  // Asks the agent to refresh the media library.
  virtual void updateITunesLibrary() = 0;
};

// Its description: the notification arguments under the notification set,
// NSString and NSURL replies.
const platform::XPCInterfacePtr& userAgentInterface();

}  // namespace vozi
