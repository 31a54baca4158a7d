#pragma once

// The daemon's server in the test process, over a temporary root, with
// recording stand-ins for the services it drives and the UI and socket
// clients of tools/client.

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backend/StandInApplicationStateManager.h"
#include "client/VoziClient.h"
#include "ipc/IPCShared.h"
#include "ipc/NamedServicesLog.h"
#include "platform/services/ServiceLog.h"
#include "server/UnixSocketIPCServer.h"
#include "services/IGAEventSender.h"
#include "services/IZOLBackgroundScanInitiator.h"
#include "services/IZOLNotificationsManager.h"
#include "services/IApplicationsFolderObserver.h"
#include "services/IZOLEventSender.h"
#include "support/EventCounter.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

namespace vozi::test {

class RecordingEventSender : public IZOLEventSender {
 public:
  void scheduleSendStoredEvents() override {}
  void sendEvent(const ZOLEvent& event) override {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(event);
    }
    changed_.notify_all();
  }
  // Waits for `count` events in all; what has come when the patience ran out.
  std::vector<ZOLEvent> waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(60), [&] { return events_.size() >= count; });
    return events_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ZOLEvent> events_;
};

class RecordingInitiator : public IZOLBackgroundScanInitiator {
 public:
  void setup(std::weak_ptr<ZOLBackgroundScanHandler>, platform::DispatchQueuePtr,
             std::shared_ptr<SanitizingProcessor> sanitizingProcessor) override {
    processor = std::move(sanitizingProcessor);
  }
  void start() override { ++starts; }
  void stop() override { ++stops; }

  std::shared_ptr<SanitizingProcessor> processor;
  std::atomic<int> starts{0};
  std::atomic<int> stops{0};
};

class RecordingGAEventSender : public IGAEventSender {
 public:
  void sendWithEvent(GAEventRecordPtr) override {}
  void setAppState(std::shared_ptr<ZOLMApplicationState> state) override {
    std::lock_guard lock(mutex);
    appState = std::move(state);
  }
  void setTrackingData(std::shared_ptr<ZOLMTrackingData> data) override {
    std::lock_guard lock(mutex);
    trackingData = std::move(data);
  }
  void reportDelayedEvents() override { reports.add(); }

  std::mutex mutex;
  std::shared_ptr<ZOLMApplicationState> appState;
  std::shared_ptr<ZOLMTrackingData> trackingData;
  EventCounter reports;
};

class RecordingNotificationsManager : public IZOLNotificationsManager {
 public:
  void start() override {}
  void unscheduleCheckForNotifications() override {}
  void setApplicationState(const ZOLApplicationState&) override { states.add(); }
  void handleBackgroundScanFinish(const std::vector<ItemGroupPtr>& groups) override {
    {
      std::lock_guard lock(mutex);
      finishedScans.push_back(groups);
    }
    scans.add();
  }
  void handleApplicationRemoved(const std::shared_ptr<ApplicationItem>& application) override {
    {
      std::lock_guard lock(mutex);
      removed.push_back(application);
    }
    removals.add();
  }

  std::mutex mutex;
  std::vector<std::vector<ItemGroupPtr>> finishedScans;
  std::vector<std::shared_ptr<ApplicationItem>> removed;
  EventCounter states;
  EventCounter scans;
  EventCounter removals;
};

// Keeps the handlers the server gives its applications folder observer, so
// that a test can report items.
class CapturingApplicationsObserver : public IApplicationsFolderObserver {
 public:
  explicit CapturingApplicationsObserver(Handlers handlers) : handlers(std::move(handlers)) {}
  void start() override {}
  void stop() override {}
  Handlers handlers;
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NamedServicesLog::install();
    auto factories = UnixSocketIPCServer::Factories::standIns();
    factories.eventSender = [events = events](std::shared_ptr<ZOLData>, platform::DispatchQueuePtr,
                                              const ZOLApplicationState&) { return events; };
    factories.backgroundScanInitiator = [initiator = initiator] { return initiator; };
    factories.gaEventSender = [analytics = analytics] { return analytics; };
    factories.notificationsManager = [this](std::shared_ptr<ZOLINotificationCenter>, const ZOLApplicationState&,
                                            std::weak_ptr<IZOLNotificationsManagerDelegate>) {
      return withoutNotificationsManager ? nullptr : std::static_pointer_cast<IZOLNotificationsManager>(notifications);
    };
    if (!watchesApplications) {
      factories.applicationsObserver = [this](const std::string&, platform::DispatchQueuePtr,
                                              IApplicationsFolderObserver::Handlers handlers) {
        observer = std::make_shared<CapturingApplicationsObserver>(std::move(handlers));
        return observer;
      };
    }
    factories.applicationStateManager = [this](std::optional<ZOLApplicationState> state,
                                               std::optional<ZOLTrackingData> trackingData) {
      stateManager = std::make_shared<StandInApplicationStateManager>(std::move(state), std::move(trackingData));
      return stateManager;
    };
    UnixSocketIPCServer::Options options;
    options.agentLink = agentLink;
    options.shutdownDrain = std::chrono::seconds(30);
    options.exitProcess = [exited = exited](int status) { exited->set_value(status); };
    auto made = UnixSocketIPCServer::make(std::move(factories), std::move(options));
    ASSERT_TRUE(made) << made.error().localizedDescription();
    server = *made;
    server->start();
    ASSERT_TRUE(log.waitForLine("Listening on path"));
    // The set-up has run once a block queued after it has.
    server->dataSyncQueue()->sync([] {});
  }

  void TearDown() override {
    if (server && !shutDown) shutdown();
    server.reset();
    platform::ServiceLog::setHook(nullptr);
  }

  // Shuts the server down as the socket request does; its exit status.
  int shutdown() {
    shutDown = true;
    server->dataSyncQueue()->async([server = server] { server->shutdownServer(); });
    auto status = exitStatus.wait_for(std::chrono::seconds(60));
    EXPECT_EQ(status, std::future_status::ready);
    return status == std::future_status::ready ? exitStatus.get() : -1;
  }

  std::unique_ptr<client::SocketClient> socketClient() {
    auto made = client::SocketClient::connect(UnixSocketIPCServerConstant::Path());
    EXPECT_TRUE(made) << made.error().localizedDescription();
    return made ? std::move(*made) : nullptr;
  }

  TempRoot root;
  LogCapture log;
  MacTree tree{root};
  std::shared_ptr<RecordingEventSender> events = std::make_shared<RecordingEventSender>();
  std::shared_ptr<RecordingInitiator> initiator = std::make_shared<RecordingInitiator>();
  std::shared_ptr<StandInApplicationStateManager> stateManager;
  std::shared_ptr<RecordingGAEventSender> analytics = std::make_shared<RecordingGAEventSender>();
  std::shared_ptr<RecordingNotificationsManager> notifications = std::make_shared<RecordingNotificationsManager>();
  std::shared_ptr<CapturingApplicationsObserver> observer;
  // Set before SetUp runs (in a fixture's constructor) to start without one.
  bool withoutNotificationsManager = false;
  // The same, to watch "/Applications" for real rather than capture the
  // observer's handlers.
  bool watchesApplications = false;
  std::shared_ptr<UserAgentManger> agentLink = UserAgentManger::make(std::chrono::milliseconds(200));
  std::shared_ptr<std::promise<int>> exited = std::make_shared<std::promise<int>>();
  std::shared_future<int> exitStatus = exited->get_future().share();
  std::shared_ptr<UnixSocketIPCServer> server;
  bool shutDown = false;
};

inline platform::Value::Dictionary request(const std::string& method) {
  return {{"method", platform::Value(method)}};
}

inline std::string methodOf(const platform::Value::Dictionary& message) {
  const auto found = message.find("method");
  const std::string* text = found == message.end() ? nullptr : found->second.asString();
  return text ? *text : "";
}

}  // namespace vozi::test
