// Applications deleted from "/Applications" or moved into a Trash: looked up
// among the stored applications and, when their leftovers were found, handed
// to the notifications manager.

#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/MLog.h"
#include "server/UnixSocketIPCServer.h"

namespace vozi {

IApplicationsFolderObserver::Handlers UnixSocketIPCServer::applicationsObserverHandlers() {
  // The observer lives as long as the server; its handlers hold it weakly.
  // A folder's URL ends with "/", as the stored bundle URLs do.
  const auto handler = [weak = weak_from_this()](const char* what) {
    return [weak, what](const std::string& path, bool isFolder) {
      const auto server = weak.lock();
      if (!server) return;
      const platform::URL url = platform::URL::fileURLWithPath(path, isFolder);
      MLog(std::string(what) + url.absoluteString());
      server->handleRemoveOrTrashItemFromApps(url);
    };
  };
  return {handler("deleted item: "), handler("trashed item: ")};
}

void UnixSocketIPCServer::handleRemoveOrTrashItemFromApps(const platform::URL& url) {
  MLog("handle application remove: " + url.absoluteString());
  // Files inside a bundle, and anything that is not one, end here.
  if (url.pathExtension() != "app") return;
  if (!preferences().useZOLToCompletelyRemoveApps()) {
    MLog("do not handle app removal as it is tuned off in preferences");
    return;
  }
  coreDataManager_->loadOrCreateItemGroups(
      {ItemGroupName::applications}, [weak = weak_from_this(), url](std::vector<ItemGroupPtr> groups) {
        const auto applications =
            groups.empty() ? nullptr : std::dynamic_pointer_cast<ApplicationsGroup>(groups.back());
        MLog("current apps: " + (applications ? applications->description() : std::string("nil")));
        if (!applications || !applications->items()) return;
        std::shared_ptr<ApplicationItem> resolved;
        applications->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool& stop) {
          auto application = std::dynamic_pointer_cast<ApplicationItem>(item);
          // URLs compare as text: no case, slash or link is normalised.
          if (application && application->url() == url) {
            resolved = std::move(application);
            stop = true;
          }
        });
        if (!resolved) return;
        MLog("resolved deleted app: " + resolved->description());
        if (resolved->items() && resolved->items()->count() == 0) {
          MLog("ignore app as leftovers are empty");
          return;
        }
        const auto server = weak.lock();
        if (!server) return;
        server->dataSyncQueue_->async([weak, resolved] {
          const auto again = weak.lock();
          if (!again) return;
          if (const auto notifications = again->notificationsManager()) notifications->handleApplicationRemoved(resolved);
        });
      });
}

}  // namespace vozi
