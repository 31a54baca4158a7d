// The server's reactions: to a new application state or tracking data, to
// the background scan, to the notifications manager, and to applications
// removed from "/Applications".

#include <atomic>
#include <filesystem>
#include <thread>

#include "agent/UserAgentStandIn.h"
#include "backend/ZOLApplicationStateCoding.h"
#include "backend/ZOLTrackingDataCoding.h"
#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/FileItem.h"
#include "common/ModelItemArray.h"
#include "server/ServerTestSupport.h"

namespace vozi {
namespace {

using namespace std::chrono_literals;

class HookTest : public test::ServerTest {
 protected:
  std::shared_ptr<client::ServiceClient> connectedUI() {
    auto client = client::ServiceClient::make(60s);
    EXPECT_TRUE(client->preferences());  // connected, and the newest UI
    return client;
  }
  // Waits until the UI's callbacks hold a line with `text`.
  static bool heard(const client::ServiceClient& client, const std::string& text, int times = 1) {
    for (int i = 0; i < 6000; ++i) {
      const auto lines = client.callbacks();
      if (std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }) >= times)
        return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
};

class HookWithoutNotificationsTest : public HookTest {
 protected:
  HookWithoutNotificationsTest() { withoutNotificationsManager = true; }
};

// One change of each kind goes to the store, the analytics sender, the UI
// when there is one, and every socket client.
TEST_F(HookTest, StateAndTrackingDataAreStoredAndFannedOut) {
  for (const bool withUI : {false, true}) {
    SCOPED_TRACE(withUI ? "with a UI" : "without a UI");
    const auto ui = withUI ? connectedUI() : nullptr;
    auto first = socketClient();
    auto second = socketClient();
    for (auto* client : {first.get(), second.get()}) {  // registered once they were served
      ASSERT_TRUE(client->send(test::request("getCleaningHistory")));
      ASSERT_TRUE(client->receive(60s));
    }
    const int reportsBefore = analytics->reports.count();
    const int statesBefore = notifications->states.count();

    const std::string userID = withUI ? "user-with-ui" : "user-without-ui";
    ZOLApplicationState state(std::nullopt, ZOLMApplicationState(userID));
    stateManager->updateState(state, true, withUI);
    ZOLTrackingData tracking;
    tracking.retrieved = true;
    tracking.googleAdWordsID = "ads-" + userID;
    tracking.utmAdGroup = "group-" + userID;
    stateManager->updateTrackingData(tracking);

    for (auto* client : {first.get(), second.get()}) {
      auto pushed = client->receive(60s);
      ASSERT_TRUE(pushed && *pushed);
      EXPECT_EQ(**pushed, (platform::Value::Dictionary{
                              {"method", platform::Value(std::string("trackingData"))},
                              {"parameters", platform::Value(platform::Value::Dictionary{
                                                 {"GoogleAdWordsID", platform::Value(*tracking.googleAdWordsID)},
                                                 {"utmAdgroup", platform::Value(*tracking.utmAdGroup)}})}}));
    }
    // A client that comes later gets nothing: its next message is its reply.
    auto later = socketClient();
    ASSERT_TRUE(later->send(test::request("getCleaningHistory")));
    auto own = later->receive(60s);
    ASSERT_TRUE(own && *own);
    EXPECT_EQ(test::methodOf(**own), "cleaningHistory");

    ASSERT_TRUE(analytics->reports.waitFor(reportsBefore + 2));
    {
      std::lock_guard lock(analytics->mutex);
      ASSERT_TRUE(analytics->appState && analytics->trackingData);
      EXPECT_EQ(analytics->appState->userID(), std::optional<std::string>(userID));
      EXPECT_EQ(analytics->trackingData->googleAdWordsID(), tracking.googleAdWordsID);
    }
    EXPECT_TRUE(notifications->states.waitFor(statesBefore + 1));
    if (ui) {
      EXPECT_TRUE(heard(*ui, "handleAppStateUpdate fromBackend: true"));
      EXPECT_TRUE(heard(*ui, "handleRequestedTrackingData"));
    }

    server->zolQueue()->sync([] {});
    ZOLData reread;
    reread.moc()->performAndWait([&] {
      const auto storedState = reread.getApplicationState();
      ASSERT_TRUE(storedState);
      EXPECT_EQ(ZOLApplicationStateCoding::withStoredModel(*storedState).modelObject().userID(),
                std::optional<std::string>(userID));
      const auto storedTracking = reread.getTrackingData();
      ASSERT_TRUE(storedTracking);
      EXPECT_EQ(ZOLTrackingDataCoding::withStoredModel(*storedTracking), tracking);
    });
  }
}

std::size_t openDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// Clients that come and go while tracking data is pushed leave nothing
// behind.
TEST_F(HookTest, ClientsQuittingDuringPushesLeaveNoDescriptorBehind) {
  {  // one client first, so that the server's own descriptors are all open
    auto warm = socketClient();
    ASSERT_TRUE(warm->send(test::request("getCleaningHistory")));
    ASSERT_TRUE(warm->receive(60s));
    ASSERT_TRUE(warm->send(test::request("quit")));
    ASSERT_TRUE(warm->receive(60s));
  }
  for (int i = 0; i < 100 && server->connectedSocketCount() != 0; ++i) std::this_thread::sleep_for(10ms);
  const std::size_t before = openDescriptors();

  std::atomic<bool> pushing{true};
  std::thread pusher([&] {
    for (int n = 0; pushing; ++n) {
      ZOLTrackingData data;
      data.retrieved = true;
      data.clientID = "push-" + std::to_string(n);
      stateManager->updateTrackingData(data);
      server->dataSyncQueue()->sync([] {});
    }
  });
  std::vector<std::thread> clients;
  for (int c = 0; c < 50; ++c) {
    clients.emplace_back([&] {
      auto client = client::SocketClient::connect(UnixSocketIPCServerConstant::Path());
      if (!client) return;
      (void)(*client)->send(test::request("quit"));
      while (true) {  // read pushes until the server has closed the connection
        auto message = (*client)->receive(60s);
        if (!message || !*message) break;
      }
    });
  }
  for (auto& client : clients) client.join();
  pushing = false;
  pusher.join();
  server->dataSyncQueue()->sync([] {});
  for (int i = 0; i < 500 && (server->connectedSocketCount() != 0 || openDescriptors() > before); ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(server->connectedSocketCount(), 0u);
  EXPECT_TRUE(server->connections().empty());
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(HookWithoutNotificationsTest, AStateBeforeTheNotificationsManagerIsStoredAndPushedOnly) {
  const auto ui = connectedUI();
  stateManager->updateState(ZOLApplicationState(std::nullopt, ZOLMApplicationState("early")), true, false);
  EXPECT_TRUE(heard(*ui, "handleAppStateUpdate fromBackend: false"));
  server->dataSyncQueue()->sync([] {});
  EXPECT_EQ(notifications->states.count(), 0);
  server->zolQueue()->sync([] {});
  const auto stored = server->zolData()->moc()->performAndWaitResult([&] {
    const auto row = server->zolData()->getApplicationState();
    return row ? row->userId() : std::nullopt;
  });
  EXPECT_EQ(stored, std::optional<std::string>("early"));
}

TEST_F(HookTest, ABackgroundScanIsPushedGroupByGroupStoredAndReportedOnce) {
  const auto ui = connectedUI();
  auto groups = *client::groupsNamed({"userCache", "userLogs", "systemCache"});
  for (auto& group : groups) {
    group->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(root / "/Library/Caches/x"), 10,
                                              std::nullopt, "fileIdentifier"));
  }
  server->dataSyncQueue()->async([&] {
    for (const auto& group : groups) server->scanInitiatorDidScan(*initiator, group);
    server->scanInitiatorDidCompleteScanningGroups(*initiator, groups, platform::Date::now());
  });
  ASSERT_TRUE(notifications->scans.waitFor(1));
  EXPECT_TRUE(heard(*ui, "scan finished background_scan_stub with 1 groups", 3));
  {
    std::lock_guard lock(notifications->mutex);
    ASSERT_EQ(notifications->finishedScans.size(), 1u);
    EXPECT_EQ(notifications->finishedScans.front(), groups);
  }
  auto stored = ui->results({"userCache", "userLogs", "systemCache"});
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->size(), 3u);
  for (const auto& group : *stored) EXPECT_EQ(group->size(), 10u) << group->name().value_or("");
}

// An agent that never answers holds the hub no longer than the ask's bound.
TEST_F(HookTest, AnAgentThatNeverAnswersGivesNoUserNameWithinTheBound) {
  ASSERT_TRUE(agentLink->startListening());
  auto agent = agent::UserAgentStandIn::make("bob", [](const std::string&) {});
  agent->setSilent(true);
  agent->start();
  for (int i = 0; i < 6000 && !agentLink->sessionUid(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(agentLink->sessionUid());

  std::promise<std::optional<std::string>> name;
  const auto start = std::chrono::steady_clock::now();
  server->dataSyncQueue()->async([&] { name.set_value(server->backgroundScanUserName()); });
  auto client = socketClient();
  ASSERT_TRUE(client->send(test::request("getCleaningHistory")));
  auto reply = client->receive(60s);
  ASSERT_TRUE(reply && *reply);
  auto answered = name.get_future();
  ASSERT_EQ(answered.wait_for(60s), std::future_status::ready);
  EXPECT_FALSE(answered.get());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms + 1s);
  EXPECT_EQ(log.count("===== username: nil. No user context"), 1u);
  agent->stop();
  agentLink->stopListening();
}

TEST_F(HookTest, ACleanFromANotificationGivesTheStoredGroupsAndNoProgress) {
  tree.addFile("/System/Library/Caches/com.example.tool/a.cache", 100);
  const auto ui = connectedUI();
  ASSERT_TRUE(ui->scan(*client::groupsNamed({"systemCache"}), {}));
  auto stored = ui->results({"systemCache"});
  ASSERT_TRUE(stored);
  const std::size_t heardBefore = ui->callbacks().size();

  std::promise<std::vector<ItemGroupPtr>> cleaned;
  std::thread elsewhere([&] {
    server->startCleanOperation(*stored, IZOLNotificationsManagerDelegate::GroupsHandler(
                                             [&](std::vector<ItemGroupPtr> groups) { cleaned.set_value(groups); }));
  });
  elsewhere.join();
  auto result = cleaned.get_future();
  ASSERT_EQ(result.wait_for(60s), std::future_status::ready);
  const auto groups = result.get();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups.front()->count(), 0u);
  EXPECT_TRUE(heard(*ui, "clean finished"));
  const auto lines = ui->callbacks();
  for (std::size_t i = heardBefore; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("progress", 0), std::string::npos);
}

// Removed applications, as the applications folder's observer reports them.
class RemovedApplicationTest : public HookTest {
 protected:
  void SetUp() override {
    HookTest::SetUp();
    auto leftovers = std::make_shared<ModelItemArray>();
    leftovers->addItem(std::make_shared<FileItem>(
        platform::URL::fileURLWithPath(root / "/Users/bob/Library/Caches/com.example.foo"), 500, std::nullopt,
        "fileIdentifier"));
    auto applications = std::make_shared<ModelItemArray>();
    applications->addItem(std::make_shared<ApplicationItem>(std::optional<std::string>("Foo"), 500, leftovers, nullptr,
                                                            nullptr, appURL("Foo"), std::nullopt, std::nullopt));
    applications->addItem(std::make_shared<ApplicationItem>(std::optional<std::string>("Empty"), 0,
                                                            std::make_shared<ModelItemArray>(), nullptr, nullptr,
                                                            appURL("Empty"), std::nullopt, std::nullopt));
    auto group = ItemGroup::group(ItemGroupName::applications);
    group->setItems(applications);
    group->setSize(500);
    std::promise<void> saved;
    server->coreDataManager()->updateAfterScanning(group, [&] { saved.set_value(); });
    saved.get_future().wait();
    setRemovalPreference(true);
  }

  platform::URL appURL(const std::string& name) const {
    return platform::URL::fileURLWithPath(root / ("/Applications/" + name + ".app"), true);
  }
  void setRemovalPreference(bool on) {
    auto client = client::ServiceClient::make(60s);
    auto current = client->preferences();
    ASSERT_TRUE(current);
    current->setUseZOLToCompletelyRemoveApps(on);
    ASSERT_TRUE(client->updatePreferences(*current));
  }
  // Reports one item and waits until its lookup in the store is over.
  std::vector<std::string> report(bool trashed, const std::string& treePath, bool isFolder = true) {
    log.take();
    const std::string path = root / treePath;
    server->dataSyncQueue()->sync(
        [&] { (trashed ? observer->handlers.trashItem : observer->handlers.deleteItem)(path, isFolder); });
    std::promise<void> looked;
    server->coreDataManager()->loadOrCreateItemGroups({}, [&](std::vector<ItemGroupPtr>) { looked.set_value(); });
    looked.get_future().wait();
    server->dataSyncQueue()->sync([] {});
    std::vector<std::string> lines;
    for (const auto& line : log.take()) {
      for (const char* text : {"deleted item", "trashed item", "handle application remove", "do not handle",
                               "current apps", "resolved deleted app", "ignore app"})
        if (line.find(text) != std::string::npos) lines.emplace_back(text);
    }
    return lines;
  }
};

TEST_F(RemovedApplicationTest, AnApplicationWithLeftoversIsHandedOnAndOthersAreNot) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(report(false, "/Applications/Foo.app"),
            (Lines{"deleted item", "handle application remove", "current apps", "resolved deleted app"}));
  ASSERT_TRUE(notifications->removals.waitFor(1));
  EXPECT_EQ(report(true, "/Applications/Foo.app"),
            (Lines{"trashed item", "handle application remove", "current apps", "resolved deleted app"}));
  ASSERT_TRUE(notifications->removals.waitFor(2));
  {
    std::lock_guard lock(notifications->mutex);
    for (const auto& application : notifications->removed) EXPECT_EQ(application->name(), std::optional<std::string>("Foo"));
  }
  EXPECT_EQ(report(false, "/Applications/Empty.app"),
            (Lines{"deleted item", "handle application remove", "current apps", "resolved deleted app", "ignore app"}));
  EXPECT_EQ(report(false, "/Applications/Other.app"), (Lines{"deleted item", "handle application remove", "current apps"}));
  EXPECT_EQ(report(false, "/Applications/Foo.app/Contents/Info.plist", false),
            (Lines{"deleted item", "handle application remove"}));
  EXPECT_EQ(report(true, "/Applications/notes.txt", false), (Lines{"trashed item", "handle application remove"}));
  // A file named like the bundle is not the bundle.
  EXPECT_EQ(report(false, "/Applications/Foo.app", false), (Lines{"deleted item", "handle application remove", "current apps"}));

  setRemovalPreference(false);
  EXPECT_EQ(report(false, "/Applications/Foo.app"), (Lines{"deleted item", "handle application remove", "do not handle"}));
  server->dataSyncQueue()->sync([] {});
  EXPECT_EQ(notifications->removals.count(), 2);
}

// The same through the real watch of "/Applications" and the Trash folders.
class RemovedApplicationWatchTest : public HookTest {
 protected:
  RemovedApplicationWatchTest() {
    watchesApplications = true;
    tree.addUser("bob").addApplication("Foo", "com.example.foo").addApplication("Gone", "com.example.gone");
    tree.addDirectory("/Applications/Old").addDirectory("/outside/data").addFile("/outside/data/Linked.app", 1);
    tree.addSymlink("/Applications/linked", root / "/outside/data");
  }
  void SetUp() override {
    HookTest::SetUp();
    auto client = client::ServiceClient::make(60s);
    auto current = client->preferences();
    ASSERT_TRUE(current);
    current->setUseZOLToCompletelyRemoveApps(true);
    ASSERT_TRUE(client->updatePreferences(*current));
  }
  // Stores an applications group of these bundles, each with a leftover.
  void storeApplications(const std::vector<std::string>& treePaths) {
    auto applications = std::make_shared<ModelItemArray>();
    for (const auto& treePath : treePaths) {
      auto leftovers = std::make_shared<ModelItemArray>();
      leftovers->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(root / "/Users/bob/Library/x"), 1,
                                                    std::nullopt, "fileIdentifier"));
      applications->addItem(std::make_shared<ApplicationItem>(std::optional<std::string>(treePath), 1, leftovers,
                                                              nullptr, nullptr,
                                                              platform::URL::fileURLWithPath(root / treePath, true),
                                                              std::nullopt, std::nullopt));
    }
    auto group = ItemGroup::group(ItemGroupName::applications);
    group->setItems(applications);
    std::promise<void> saved;
    server->coreDataManager()->updateAfterScanning(group, [&] { saved.set_value(); });
    saved.get_future().wait();
  }
  // Every report made before has been handled once a marker's removal is.
  void settle() {
    static int markers = 0;
    const std::string marker = "/Applications/marker" + std::to_string(++markers);
    tree.addFile(marker, 1);
    std::filesystem::remove(root / marker);
    ASSERT_TRUE(log.waitForLine("deleted item: file://" + root / marker));
    std::promise<void> looked;
    server->coreDataManager()->loadOrCreateItemGroups({}, [&](std::vector<ItemGroupPtr>) { looked.set_value(); });
    looked.get_future().wait();
    server->dataSyncQueue()->sync([] {});
  }
};

TEST_F(RemovedApplicationWatchTest, DeletedOrTrashedBundlesAreHandedOnAndOtherMovesAreNot) {
  namespace fs = std::filesystem;
  test::ApplicationBundle bar;
  bar.name = "Bar";
  bar.bundleIdentifier = "com.example.bar";
  bar.folder = "/Applications/Later/Sub";  // folders made after the watch began
  tree.addApplication(bar);
  storeApplications({"/Applications/Foo.app", "/Applications/Gone.app", "/Applications/Later/Sub/Bar.app",
                     "/Applications/Old/Foo.app", "/outside/data/Linked.app"});
  settle();

  fs::rename(root / "/Applications/Foo.app", root / "/Applications/Old/Foo.app");  // within: nothing
  settle();
  fs::rename(root / "/Applications/Old/Foo.app", root / "/Users/bob/Desktop/Foo.app");  // away: nothing
  fs::remove(root / "/outside/data/Linked.app");                                       // behind a link: nothing
  settle();
  EXPECT_EQ(notifications->removals.count(), 0);

  fs::rename(root / "/Applications/Gone.app", root / "/Users/bob/.Trash/Gone.app");
  ASSERT_TRUE(notifications->removals.waitFor(1));
  EXPECT_EQ(log.count("trashed item: file://" + root / "/Applications/Gone.app/"), 1u);
  fs::remove_all(root / "/Applications/Later/Sub/Bar.app");
  ASSERT_TRUE(notifications->removals.waitFor(2));
  settle();
  std::lock_guard lock(notifications->mutex);
  ASSERT_EQ(notifications->removed.size(), 2u);
  EXPECT_EQ(notifications->removed[0]->url(), platform::URL::fileURLWithPath(root / "/Applications/Gone.app", true));
  EXPECT_EQ(notifications->removed[1]->url(),
            platform::URL::fileURLWithPath(root / "/Applications/Later/Sub/Bar.app", true));
}

}  // namespace
}  // namespace vozi
