#pragma once

// Both ends of the daemon's named services in one process, for the tests:
// recording implementations of the exported protocols, a stand-in analytics
// event, and a caller's view that sends what the daemon's lists refuse.

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/ItemGroup.h"
#include "common/TypedFileItem.h"
#include "common/ModelItemOrderedSet.h"
#include "common/LanguagesGroup.h"
#include "common/LanguageItem.h"
#include "common/FileItem.h"
#include "common/DuplicatesGroup.h"
#include "common/DuplicateItem.h"
#include "common/ZOLMApplicationState.h"
#include "common/ZOLMEvent.h"
#include "common/ZOLMPreferences.h"
#include "common/ZOLMTrackingData.h"
#include "common/ZOLMUserData.h"
#include "ipc/GAEventRecord.h"
#include "ipc/IZOLClientService.h"
#include "ipc/IZOLServerService.h"
#include "ipc/UserAgent.h"
#include "ipc/UserAgentClient.h"
#include "platform/ArchiveClassRegistry.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/services/EchoService.h"
#include "platform/services/XPCInterface.h"

namespace vozi::test {

// The calls an object received, one line each, in order.
class CallRecord {
 public:
  void add(std::string line) {
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(std::move(line));
    }
    arrived.add();
  }
  // Waits for `count` lines in all since the start; false when the
  // patience ran out.
  bool waitFor(int count) { return arrived.waitFor(count); }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  EventCounter arrived;
};

// Waits for a reply block's value; nullopt when it never came.
template <class T>
struct Answer {
  std::shared_ptr<std::promise<T>> promise = std::make_shared<std::promise<T>>();
  std::shared_future<T> future = promise->get_future().share();
  std::function<void(T)> block() {
    return [promise = promise](T value) { promise->set_value(std::move(value)); };
  }
  std::optional<T> get() const {
    if (future.wait_for(std::chrono::seconds(60)) != std::future_status::ready) return std::nullopt;
    return future.get();
  }
};

inline std::shared_ptr<FileItem> file(const std::string& path, std::uint64_t size) {
  return std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), size, platform::Date(600000000.5));
}

// A group of each container kind: an array, a dictionary (languages by
// name) and an ordered set (one set of duplicates).
inline std::vector<ItemGroupPtr> groupsOfEachContainer() {
  auto caches = std::make_shared<ItemGroup>("userCache", 0, nullptr, "", nullptr, nullptr);
  caches->addItem(file("/Users/alice/Library/Caches/a", 10));
  caches->addItem(file("/Users/alice/Library/Caches/b", 20));

  auto languages = std::make_shared<LanguagesGroup>("languages", 0, nullptr, "", nullptr, nullptr);
  auto french = std::make_shared<LanguageItem>("fr", 0, nullptr, "fr", nullptr, nullptr);
  french->addItem(file("/Applications/A.app/Contents/Resources/fr.lproj", 30));
  languages->addItem(french);
  languages->addItem(std::make_shared<LanguageItem>("de", 7, nullptr, "de", nullptr, nullptr));

  auto duplicates = std::make_shared<DuplicatesGroup>("duplicates", 0, nullptr, "", nullptr, nullptr);
  auto set = std::make_shared<DuplicateItem>("photo", 0, nullptr, "", nullptr, nullptr, platform::Data(32, 0x5a));
  set->setItems(std::make_shared<ModelItemOrderedSet>(std::vector<ModelItemPtr>{
      std::make_shared<TypedFileItem>(platform::URL::fileURLWithPath("/Users/alice/1.jpg"), 3, std::nullopt, "", 4),
      std::make_shared<TypedFileItem>(platform::URL::fileURLWithPath("/Users/alice/copy/1.jpg"), 3, std::nullopt, "", 4)}));
  duplicates->addItem(set);
  return {caches, languages, duplicates};
}

inline std::string orNil(const std::optional<std::string>& text) { return text ? *text : "nil"; }

// An analytics event of the later layer, as far as these tests need one:
// strings and one free-form value, registered under "GAEvent".
class StandInEvent : public GAEventRecord {
 public:
  StandInEvent(std::string category, std::string action, platform::Value value)
      : category(std::move(category)), action(std::move(action)), value(std::move(value)) {}
  explicit StandInEvent(platform::KeyedUnarchiver& u)
      : category(u.decodeStringForKey("category").value_or("")),
        action(u.decodeStringForKey("action").value_or("")),
        value(u.decodePropertyListForKey("value").value_or(platform::Value())) {}
  void encode(platform::KeyedArchiver& a) const override {
    a.encode("category", category);
    a.encode("action", action);
    a.encodePropertyList("value", value);
  }
  static void registerClass() {
    GAEventRecord::registerInterface();
    platform::ArchiveClassRegistry::shared().registerClass<StandInEvent, GAEventRecord>(
        std::string(GAEventRecord::kClassName));
  }

  std::string category;
  std::string action;
  platform::Value value;
};

inline std::string groupsText(const std::vector<ItemGroupPtr>& groups) {
  std::string text;
  for (const auto& group : groups) text += (text.empty() ? "" : ",") + orNil(group ? group->name() : std::nullopt);
  return text;
}

// The daemon's side of the UI and menu-bar services.
class RecordingServer : public IZOLServerService {
 public:
  void sendWithUserData(std::shared_ptr<ZOLMUserData> data) override {
    calls.add("sendWithUserData: " + (data ? data->userEmail() : "nil"));
  }
  void sendWithUserEvent(std::shared_ptr<ZOLMEvent> event) override {
    calls.add("sendWithUserEvent: " + (event ? event->name() : "nil"));
  }
  void sendWithCleanEvent(std::shared_ptr<ZOLMEvent> event) override {
    calls.add("sendWithCleanEvent: " + (event ? event->name() : "nil"));
  }
  void startScanOperation(std::vector<ItemGroupPtr> groups, OperationReply reply) override {
    {
      std::lock_guard lock(mutex_);
      scanned_ = groups;
    }
    calls.add("startScanOperation: " + groupsText(groups));
    if (reply) reply("scan-1");
  }
  void startCleanOperation(std::vector<ItemGroupPtr> groups, OperationReply reply) override {
    calls.add("startCleanOperation: " + groupsText(groups));
    if (reply) reply(std::nullopt);
  }
  void cancelWithOperationID(std::string operationID, std::function<void(bool)> reply) override {
    calls.add("cancelWithOperationID: " + operationID);
    if (reply) reply(true);
  }
  void requestScannedData(std::vector<std::string> names,
                          std::function<void(std::vector<ItemGroupPtr>)> reply) override {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : ",") + name;
    calls.add("requestScannedData: " + text);
    if (!reply) return;
    std::vector<ItemGroupPtr> groups;
    for (const auto& name : names) groups.push_back(std::make_shared<ItemGroup>(name, 7, nullptr, name, nullptr, nullptr));
    reply(std::move(groups));
  }
  void requestApplicationStateWithCompletionHandler(
      std::function<void(std::shared_ptr<ZOLMApplicationState>)> reply) override {
    calls.add("requestApplicationStateWithCompletionHandler:");
    if (reply) reply(std::make_shared<ZOLMApplicationState>("user-7"));
  }
  void updateApplicationState(std::shared_ptr<ZOLMApplicationState> state) override {
    calls.add("updateApplicationState: " + (state ? orNil(state->userID()) : "nil"));
  }
  void requestPreferences() override { calls.add("requestPreferences"); }
  void updateWith(std::shared_ptr<ZOLMPreferences> preferences) override {
    {
      std::lock_guard lock(mutex_);
      preferences_ = preferences;
    }
    calls.add(std::string("updateWith: ") + (preferences ? "preferences" : "nil"));
  }
  void requestTrackingDataWithCompletionHandler(std::function<void(std::shared_ptr<ZOLMTrackingData>)> reply) override {
    calls.add("requestTrackingDataWithCompletionHandler:");
    if (reply) reply(nullptr);
  }

  std::vector<ItemGroupPtr> scanned() const {
    std::lock_guard lock(mutex_);
    return scanned_;
  }
  std::shared_ptr<ZOLMPreferences> preferences() const {
    std::lock_guard lock(mutex_);
    return preferences_;
  }

  CallRecord calls;

 private:
  mutable std::mutex mutex_;
  std::vector<ItemGroupPtr> scanned_;
  std::shared_ptr<ZOLMPreferences> preferences_;
};

// The daemon's side of the agent service.
class RecordingAgentClient : public UserAgentClient {
 public:
  void setupConnection() override { calls.add("setupConnection"); }
  void sendWithEvent(GAEventRecordPtr event) override {
    auto standIn = std::dynamic_pointer_cast<StandInEvent>(event);
    calls.add("sendWithEvent: " + (standIn ? standIn->category + "/" + standIn->action : std::string("nil")));
  }
  void handleActionForNotification(ZOLNotificationPtr notification) override {
    calls.add("handleActionForNotification: " + (notification ? notification->identifier() : "nil"));
  }
  void handleCloseForNotification(ZOLNotificationPtr notification) override {
    calls.add("handleCloseForNotification: " + (notification ? notification->identifier() : "nil"));
  }
  void handleAdditionalAction(ZOLNotificationActionPtr action, ZOLNotificationPtr notification) override {
    calls.add("handleAdditionalAction: " + (action ? orNil(action->identifier()) : "nil") + " of " +
              (notification ? notification->identifier() : "nil"));
  }

  CallRecord calls;
};

// The agent's side: what the daemon calls on it.
class RecordingAgent : public UserAgent {
 public:
  void retrieveUserName(NameReply reply) override {
    calls.add("retrieveUserName:");
    if (reply) reply("alice");
  }
  void retrieveTrashDirectory(FolderReply reply) override {
    calls.add("retrieveTrashDirectory:");
    if (reply) reply(platform::URL::fileURLWithPath("/Users/alice/.Trash", true));
  }
  void retrieveLibraryDirectory(FolderReply reply) override {
    calls.add("retrieveLibraryDirectory:");
    if (reply) reply(platform::URL::fileURLWithPath("/Users/alice/Library", true));
  }
  void retrieveCachesDirectory(FolderReply reply) override {
    calls.add("retrieveCachesDirectory:");
    if (reply) reply(std::nullopt);
  }
  void updateITunesLibrary() override { calls.add("updateITunesLibrary"); }
  void registerRemoteHandlerForNotificationIdentifier(std::string identifier) override {
    calls.add("registerRemoteHandlerForNotificationIdentifier: " + identifier);
  }
  void unregisterRemoteHandlerForNotificationIdentifier(std::string identifier) override {
    calls.add("unregisterRemoteHandlerForNotificationIdentifier: " + identifier);
  }
  void scheduleWithNotification(ZOLNotificationPtr notification, std::int64_t priority) override {
    calls.add("scheduleWithNotification: " + (notification ? notification->identifier() : "nil") + " " +
              std::to_string(priority));
  }
  void deliverWithNotification(ZOLNotificationPtr notification) override {
    calls.add("deliverWithNotification: " + (notification ? notification->identifier() : "nil"));
  }
  void removeWithNotificationIdentifier(std::string identifier) override {
    calls.add("removeWithNotificationIdentifier: " + identifier);
  }

  CallRecord calls;
};

// The UI's side: what the daemon calls back.
class RecordingUI : public IZOLClientService {
 public:
  void handleAppStateUpdate(std::shared_ptr<ZOLMApplicationState> state, bool fromBackend) override {
    calls.add("handleAppStateUpdate: " + (state ? orNil(state->userID()) : "nil") + (fromBackend ? " backend" : ""));
  }
  void operationDidUpdateProgressTo(std::string operationID, double fraction) override {
    calls.add("operation:didUpdateProgressTo: " + operationID + " " + std::to_string(fraction));
  }
  void operationDidFailWithError(std::string operationID, platform::Error error) override {
    calls.add("operation:didFailWithError: " + operationID + " " + error.domain + " " + std::to_string(error.code));
  }
  void operationDidFinishScanningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) override {
    calls.add("operation:didFinishScanningWithResults: " + operationID + " " + groupsText(results));
  }
  void operationDidFinishCleaningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) override {
    calls.add("operation:didFinishCleaningWithResults: " + operationID + " " + groupsText(results));
  }
  void handleRequestedPreferences(std::shared_ptr<ZOLMPreferences> preferences) override {
    calls.add(std::string("handleRequestedPreferences: ") + (preferences ? "preferences" : "nil"));
  }
  void handleRequestedTrackingData(std::shared_ptr<ZOLMTrackingData> data) override {
    calls.add("handleRequestedTrackingData: " + (data ? orNil(data->clientID()) : "nil"));
  }

  CallRecord calls;
};

// A caller whose view of the UI service admits what the daemon's lists do
// not: the arguments are sent under the real selectors with other records.
class IOutOfListCaller {
 public:
  virtual ~IOutOfListCaller() = default;
  virtual void sendWithCleanEvent(std::shared_ptr<ZOLMPreferences> preferences) = 0;
  virtual void cancelWithOperationID(ItemGroupPtr group, std::function<void(bool)> reply) = 0;
  virtual void startScanOperation(std::vector<ItemGroupPtr> groups, IZOLLongOperationsServer::OperationReply reply) = 0;
  virtual void sendWithUserEvent(std::shared_ptr<ZOLMEvent> event) = 0;
};

inline const platform::XPCInterfacePtr& outOfListCallerInterface() {
  static const platform::XPCInterfacePtr interface =
      platform::XPCInterface::describe<IOutOfListCaller>("IOutOfListCaller")
          .method<&IOutOfListCaller::sendWithCleanEvent>("sendWithCleanEvent:")
          .method<&IOutOfListCaller::cancelWithOperationID>("cancelWithOperationID:replyBlock:")
          .method<&IOutOfListCaller::startScanOperation>("startScanOperation:replyBlock:", {}, {{"NSString"}})
          .method<&IOutOfListCaller::sendWithUserEvent>("sendWithUserEvent:")
          .build();
  return interface;
}

}  // namespace vozi::test
