// The long operations of the server: scans, cleans and their cancelling, the
// stored results, the scan configuration and what a clean may delete.

#include <future>
#include <map>

#include "common/ApplicationItem.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicatesGroup.h"
#include "common/FileKinds.h"
#include "common/IFileItem.h"
#include "common/ItemGroupName.h"
#include "common/MLog.h"
#include "common/MailAttachmentsGroup.h"
#include "ipc/IZOLClientService.h"
#include "server/CleanHistory.h"
#include "server/UnixSocketIPCServer.h"

#include "common/ApplicationItem.h"

namespace vozi {

namespace {

// Every kind of file: tracks, movies, photos, archives, documents.
constexpr std::uint64_t kAllFileKinds = 31;

// The groups whose names the daemon knows; the others are left out, with a
// log line.
std::vector<ItemGroupPtr> knownGroups(const std::vector<ItemGroupPtr>& groups) {
  std::vector<ItemGroupPtr> known;
  for (const auto& group : groups) {
    if (group && fromRawValue<ItemGroupName>(group->name().value_or(""))) {
      known.push_back(group);
    } else {
      MLog("Skipped a group of unknown name: " + (group ? group->name().value_or("(none)") : std::string("(none)")));
    }
  }
  return known;
}

std::vector<ItemGroupName> knownNames(const std::vector<std::string>& names) {
  std::vector<ItemGroupName> known;
  for (const auto& name : names) {
    if (const auto value = fromRawValue<ItemGroupName>(name)) {
      known.push_back(*value);
    } else {
      MLog("Skipped a group of unknown name: " + name);
    }
  }
  return known;
}

// The groups as the log shows them: names and item counts, never paths.
std::string describe(const std::vector<ItemGroupPtr>& groups) {
  std::string text = "[";
  for (const auto& group : groups) {
    if (text.size() > 1) text += ", ";
    text += group->name().value_or("(none)") + " (" + std::to_string(group->count()) + " items)";
  }
  return text + "]";
}

std::string describe(const std::vector<ItemGroupName>& names) {
  std::string text = "[";
  for (const auto name : names) {
    if (text.size() > 1) text += ", ";
    text += std::string(rawValue(name));
  }
  return text + "]";
}

std::vector<ItemGroupName> namesOf(const std::vector<ItemGroupPtr>& groups) {
  std::vector<ItemGroupName> names;
  for (const auto& group : groups) names.push_back(*fromRawValue<ItemGroupName>(group->name().value_or("")));
  return names;
}

}  // namespace

SanitizingProcessor::ProgressHandler UnixSocketIPCServer::clientProgressForwarder() {
  return [weak = weak_from_this()](double fraction, const std::string& operationId) {
    const auto server = weak.lock();
    if (!server) return;
    if (const auto proxy = server->clientProxy())
      proxy->call<&IZOLLongOperationsClient::operationDidUpdateProgressTo>(operationId, fraction);
  };
}

// --- Entry points -----------------------------------------------------------

void UnixSocketIPCServer::startScanOperation(std::vector<ItemGroupPtr> groups, OperationReply replyBlock) {
  dataSyncQueue_->async([weak = weak_from_this(), groups = std::move(groups), replyBlock = std::move(replyBlock)] {
    if (const auto server = weak.lock()) server->scan(groups, replyBlock, {});
  });
}

void UnixSocketIPCServer::startCleanOperation(std::vector<ItemGroupPtr> groups, OperationReply replyBlock) {
  dataSyncQueue_->async([weak = weak_from_this(), groups = std::move(groups), replyBlock = std::move(replyBlock)] {
    const auto server = weak.lock();
    if (!server) return;
    if (server->shuttingDown_) {
      if (replyBlock) replyBlock(std::nullopt);
      return;
    }
    const std::string id = server->clean(groups, server->clientProgressForwarder(), {});
    if (replyBlock) replyBlock(id);
  });
}

void UnixSocketIPCServer::cancelWithOperationID(std::string operationID, std::function<void(bool)> replyBlock) {
  dataSyncQueue_->async([weak = weak_from_this(), operationID = std::move(operationID),
                         replyBlock = std::move(replyBlock)] {
    if (const auto server = weak.lock()) server->sanitizingProcessor()->cancel(operationID, replyBlock);
  });
}

void UnixSocketIPCServer::requestScannedData(std::vector<std::string> groupNames,
                                             std::function<void(std::vector<ItemGroupPtr>)> replyBlock) {
  coreDataManager_->loadOrCreateItemGroups(
      knownNames(groupNames), [weak = weak_from_this(), replyBlock = std::move(replyBlock)](std::vector<ItemGroupPtr> groups) {
        const auto server = weak.lock();
        if (!server) return;
        server->dataSyncQueue_->async([replyBlock, groups = std::move(groups)] {
          if (replyBlock) replyBlock(groups);
        });
      });
}

void UnixSocketIPCServer::startCleanOperation(std::vector<ItemGroupPtr> groups, GroupsHandler completionHandler) {
  dataSyncQueue_->async([weak = weak_from_this(), groups = std::move(groups),
                         completionHandler = std::move(completionHandler)] {
    const auto server = weak.lock();
    if (!server || server->shuttingDown_) return;
    server->clean(groups, {}, completionHandler);
  });
}

// --- The scan road ----------------------------------------------------------

void UnixSocketIPCServer::scan(std::vector<ItemGroupPtr> requested, OperationReply replyBlock,
                               std::function<void(std::vector<ItemGroupPtr>)> completion) {
  if (shuttingDown_) {
    if (replyBlock) replyBlock(std::nullopt);
    return;
  }
  const std::vector<ItemGroupPtr> groups = knownGroups(requested);
  MLog("User want scann items: " + describe(groups));
  const auto initiator = backgroundScanInitiator();
  if (initiator) initiator->stop();
  const auto processor = sanitizingProcessor();
  processor->setScanningConfigurator(std::static_pointer_cast<IScanningConfigurator>(shared_from_this()));

  const std::string id = processor->startScanning(
      groups, platform::QualityOfService::userInitiated, clientProgressForwarder(),
      [store = coreDataManager_](const ItemGroupPtr& group) {
        if (group) store->updateAfterScanning(group);
      },
      [weak = weak_from_this(), groups, completion = std::move(completion), initiator](const std::string& operationId,
                                                                                       bool cancelled) {
        const auto server = weak.lock();
        if (!server) return;
        MLog("operation finished: " + operationId + ", cancelled: " + (cancelled ? "true" : "false"));
        const std::vector<ItemGroupPtr> results = cancelled ? std::vector<ItemGroupPtr>{} : groups;
        if (const auto proxy = server->clientProxy())
          proxy->call<&IZOLLongOperationsClient::operationDidFinishScanningWithResults>(operationId, results);
        if (completion) completion(results);
        if (initiator) initiator->start();
        server->requestEnded(operationId);
      });
  // The final completion comes on this queue, so after this line.
  requestBegan(id);
  if (replyBlock) replyBlock(id);
}

// --- The clean road ---------------------------------------------------------

std::string UnixSocketIPCServer::clean(std::vector<ItemGroupPtr> requested,
                                       SanitizingProcessor::ProgressHandler progressHandler,
                                       GroupsHandler completionHandler) {
  const std::vector<ItemGroupPtr> groups = knownGroups(requested);
  const auto initiator = backgroundScanInitiator();
  if (initiator) initiator->stop();
  const auto processor = sanitizingProcessor();
  loadCleaningScopes(groups);

  // The groups as their operations cleaned them: each holds what its clean
  // removed, for the history.
  struct Removed {
    std::mutex mutex;
    std::vector<ItemGroupPtr> groups;
  };
  auto removed = std::make_shared<Removed>();
  const std::string id = processor->startCleaning(
      groups, std::move(progressHandler),
      [store = coreDataManager_, removed](const ItemGroupPtr& group) {
        if (!group) return;
        store->updateAfterCleaning(group);
        std::lock_guard lock(removed->mutex);
        removed->groups.push_back(group);
      },
      [weak = weak_from_this(), groups, removed, completionHandler = std::move(completionHandler), initiator](
          const std::string& operationId, bool cancelled) {
        const auto server = weak.lock();
        if (!server) return;
        {
          std::lock_guard lock(removed->mutex);
          server->recordClean(removed->groups, cancelled);
        }
        const std::vector<ItemGroupName> names = namesOf(groups);
        server->coreDataManager_->loadOrCreateItemGroups(
            names, [weak, operationId, names, completionHandler, initiator](std::vector<ItemGroupPtr> loaded) {
              const auto again = weak.lock();
              if (!again) return;
              again->dataSyncQueue_->async([weak, operationId, names, completionHandler, initiator,
                                            loaded = std::move(loaded)] {
                const auto server = weak.lock();
                if (!server) return;
                if (const auto proxy = server->clientProxy())
                  proxy->call<&IZOLLongOperationsClient::operationDidFinishCleaningWithResults>(operationId, loaded);
                MLog("Finished cleaning " + describe(names));
                if (completionHandler) completionHandler(loaded);
                if (initiator) initiator->start();
                server->requestEnded(operationId);
              });
            });
      });
  pendingScopes_.clear();
  requestBegan(id);
  return id;
}

void UnixSocketIPCServer::loadCleaningScopes(const std::vector<ItemGroupPtr>& groups) {
  pendingScopes_.clear();
  if (groups.empty()) return;
  // The store is waited for here: its queue never waits for this one.
  std::promise<std::vector<ItemGroupPtr>> promise;
  auto future = promise.get_future();
  coreDataManager_->loadOrCreateItemGroups(namesOf(groups), [&promise](std::vector<ItemGroupPtr> stored) {
    promise.set_value(std::move(stored));
  });
  std::map<std::string, std::unordered_set<std::string>> storedPaths;
  for (const auto& stored : future.get()) {
    auto& paths = storedPaths[stored->name().value_or("")];
    stored->enumerateLeaves([&](const ModelItemPtr& item, bool&) {
      if (const auto* file = dynamic_cast<const IFileItem*>(item.get())) paths.insert(file->path());
    });
    // An application is a group of its leftovers; its bundle is a path too.
    stored->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      if (const auto* application = dynamic_cast<const ApplicationItem*>(item.get())) {
        if (auto path = application->path()) paths.insert(std::move(*path));
      }
    });
  }
  const auto processor = sanitizingProcessor();
  for (const auto& group : groups) {
    auto scope = std::make_shared<CleaningScope>();
    scope->roots = processor->scanRoots(group);
    if (const auto found = storedPaths.find(group->name().value_or("")); found != storedPaths.end())
      scope->storedPaths = found->second;
    pendingScopes_[group.get()] = std::move(scope);
  }
}

std::shared_ptr<const CleaningScope> UnixSocketIPCServer::cleaningScope(const ItemGroupPtr& group) {
  const auto found = pendingScopes_.find(group.get());
  return found == pendingScopes_.end() ? nullptr : found->second;
}

void UnixSocketIPCServer::recordClean(const std::vector<ItemGroupPtr>& cleaned, bool cancelled) {
  std::map<ScanGroupName, std::int64_t> bytes;
  for (const auto& group : cleaned) {
    const auto name = fromRawValue<ItemGroupName>(group->name().value_or(""));
    const auto category = name ? CleanHistory::categoryOf(*name) : std::nullopt;
    if (category) bytes[*category] += static_cast<std::int64_t>(group->size());
  }
  zolQueue_->async([data = zolData_, bytes = std::move(bytes), cancelled] {
    const platform::Date now = platform::Date::now();
    for (const auto& [category, removed] : bytes) data->recordClean(category, removed, now);
    if (!cancelled) data->recordCompleteClean(now);
  });
}

// --- Scan configuration -----------------------------------------------------

void UnixSocketIPCServer::sanitizingProcessor(SanitizingProcessor&, IModelItem& configureForScanning) {
  if (auto* bigFiles = dynamic_cast<BigFilesGroup*>(&configureForScanning)) {
    const ZOLMPreferences current = preferences();
    bigFiles->setMinLastAccessDate(
        platform::Date::now().addingTimeInterval(static_cast<double>(current.bigFilesLastOpenMoreThan())));
    bigFiles->setFileItemTypes(FileKinds::fileTypes(current.bigFilesSearchFileTypes()));
    bigFiles->setMinFileSizeToScan(current.bigFilesMinSize());
  } else if (auto* mail = dynamic_cast<MailAttachmentsGroup*>(&configureForScanning)) {
    mail->setFileItemTypes(kAllFileKinds);
  } else if (auto* duplicates = dynamic_cast<DuplicatesGroup*>(&configureForScanning)) {
    duplicates->setIgnorePathFragments(preferences().excludeFromDuplicatesSearch());
  }
}

}  // namespace vozi
