#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <set>

#include "common/ApplicationsGroup.h"
#include "common/SystemLogsGroup.h"
#include "common/UserCacheGroup.h"
#include "common/UserLogsGroup.h"
#include "agent/UserAgentStandIn.h"
#include "ipc/UserAgentManger.h"
#include "sanitizers/ApplicationsSanitizer.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/FilesSanitizer.h"
#include "sanitizers/ScanFixture.h"
#include "sanitizers/UserCacheScanningOperation.h"
#include "sanitizers/UserCachesSanitizer.h"
#include "sanitizers/UserLogsGroupSanitizer.h"
#include "support/DemoTree.h"
#include "support/LogCapture.h"

namespace vozi {
namespace {

using test::FakeUserAgentLink;
using test::ScanFixture;

class SanitizerTest : public ::testing::Test, public ScanFixture {
 protected:
  SanitizerEnvironment environment(std::shared_ptr<IUserAgentLink> link = nullptr) const {
    return SanitizerEnvironment{queue, std::move(link), nullptr};
  }
};

TEST_F(SanitizerTest, FilesSanitizerScansTheFoldersOfTheGroupsClassAndRecordsHistoryFirst) {
  tree.addFile("/Library/Logs/system.log", 10).addFile("/var/log/install.log", 20);
  auto group = std::static_pointer_cast<SystemLogsGroup>(ItemGroup::group(ItemGroupName::systemLogs));
  FilesSanitizer<SystemLogsGroup> sanitizer(group, environment());
  bool historyBeforeCompletion = false;
  ItemGroupPtr result;
  auto operation = sanitizer.scan(
      [&](const ItemGroupPtr& scanned, bool cancelled) {
        historyBeforeCompletion = group->scanningHistory() != nullptr;
        result = scanned;
        EXPECT_FALSE(cancelled);
      },
      nullptr);
  ASSERT_TRUE(operation);
  operation->waitUntilFinished();
  EXPECT_TRUE(historyBeforeCompletion);
  ASSERT_EQ(result, group);
  std::set<std::string> paths;
  for (const auto& [path, size] : files(*group)) paths.insert(path);
  EXPECT_TRUE(paths.contains(tree.host("/Library/Logs/system.log")));
  EXPECT_TRUE(paths.contains(tree.host("/var/log/install.log")));
}

TEST_F(SanitizerTest, OperationsAreNamedWithFreshUUIDs) {
  const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  auto first = std::static_pointer_cast<UserCacheGroup>(ItemGroup::group(ItemGroupName::userCache));
  auto second = std::static_pointer_cast<UserCacheGroup>(ItemGroup::group(ItemGroupName::userCache));
  UserCachesSanitizer a(first, environment()), b(second, environment());
  auto one = a.scan(nullptr, nullptr);
  auto two = b.scan(nullptr, nullptr);
  one->waitUntilFinished();
  two->waitUntilFinished();
  EXPECT_TRUE(std::regex_match(one->name(), uuid)) << one->name();
  EXPECT_TRUE(std::regex_match(two->name(), uuid)) << two->name();
  EXPECT_NE(one->name(), two->name());
}

TEST_F(SanitizerTest, UserCachesScanTheAgentsCachesAndCleanLikeFiles) {
  tree.addFile("/Users/bob/Library/Caches/a", 10);
  auto group = std::static_pointer_cast<UserCacheGroup>(ItemGroup::group(ItemGroupName::userCache));
  UserCachesSanitizer sanitizer(group, environment(std::make_shared<FakeUserAgentLink>(caches())));
  auto scan = sanitizer.scan(nullptr, nullptr);
  EXPECT_TRUE(std::dynamic_pointer_cast<UserCacheScanningOperation>(scan));
  scan->waitUntilFinished();
  EXPECT_EQ(files(*group), (std::map<std::string, std::uint64_t>{{caches() + "/a", 10}}));
  auto clean = sanitizer.clean(nullptr, nullptr);
  EXPECT_TRUE(std::dynamic_pointer_cast<FileSystemCleaningOperation<UserCacheGroup>>(clean));
  clean->waitUntilFinished();
  EXPECT_TRUE(group->cleaningHistory() != nullptr);
}

// Cancels the scan from inside it, while the scan asks for its folder.
class CancellingLink : public FakeUserAgentLink {
 public:
  using FakeUserAgentLink::FakeUserAgentLink;
  platform::Result<std::string> cachesDirectory() override {
    if (auto operation = scan.lock()) operation->cancel();
    return FakeUserAgentLink::cachesDirectory();
  }
  std::weak_ptr<platform::Operation> scan;
};

TEST_F(SanitizerTest, CancelledScanStillRecordsHistoryBeforeTheCompletion) {
  tree.addFile("/Users/bob/Library/Caches/a", 10);
  auto group = std::static_pointer_cast<UserCacheGroup>(ItemGroup::group(ItemGroupName::userCache));
  auto link = std::make_shared<CancellingLink>(caches());
  UserCachesSanitizer sanitizer(group, environment(link));
  queue->setMaxConcurrentOperationCount(0);  // hold the scan until the link knows it
  bool historyRecorded = false, cancelledSeen = false;
  int completions = 0;
  ItemGroupPtr result = group;
  auto scan = sanitizer.scan(
      [&](const ItemGroupPtr& scanned, bool cancelled) {
        historyRecorded = group->scanningHistory() != nullptr;
        cancelledSeen = cancelled;
        result = scanned;
        ++completions;
      },
      nullptr);
  link->scan = scan;
  queue->setMaxConcurrentOperationCount(1);
  scan->waitUntilFinished();
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(cancelledSeen);
  EXPECT_TRUE(historyRecorded);
  EXPECT_FALSE(result);
  EXPECT_EQ(group->count(), 0u);
}

TEST_F(SanitizerTest, ApplicationsSanitizerScansAndUninstallsWithItsOwnOperations) {
  auto group = std::static_pointer_cast<ApplicationsGroup>(ItemGroup::group(ItemGroupName::applications));
  ApplicationsSanitizer sanitizer(group, environment());
  const auto scan = sanitizer.scan(nullptr, nullptr);
  EXPECT_TRUE(std::dynamic_pointer_cast<ApplicationsScanningOperation>(scan));
  const auto clean = sanitizer.clean(nullptr, nullptr);
  EXPECT_TRUE(std::dynamic_pointer_cast<ApplicationsCleaningOperation>(clean));
  scan->waitUntilFinished();
  clean->waitUntilFinished();
  // What a clean may delete from: the Applications folder first.
  const auto roots = sanitizer.scanRoots();
  ASSERT_FALSE(roots.empty());
  EXPECT_EQ(roots.front(), root / "/Applications");
}

TEST_F(SanitizerTest, MakeChoosesByTheGroupsClass) {
  const ItemGroupPtr userCache = ItemGroup::group(ItemGroupName::userCache);
  const ItemGroupPtr applications = ItemGroup::group(ItemGroupName::applications);
  EXPECT_TRUE((BaseSanitizer<UserCacheGroup>::make<UserCachesSanitizer>(userCache, environment())));
  EXPECT_FALSE((BaseSanitizer<UserCacheGroup>::make<UserCachesSanitizer>(applications, environment())));
  EXPECT_TRUE((BaseSanitizer<ApplicationsGroup>::make<ApplicationsSanitizer>(applications, environment())));
}

TEST_F(SanitizerTest, UserLogsScanWalksTheLibrarysLogsAndEachContainersAskingTheAgentOnce) {
  const std::string library = "/Users/bob/Library";
  tree.addContainer("bob", "com.x.mail")
      .addFile(library + "/Logs/app.log", 10)
      .addFile(library + "/Logs/Tool/deep.log", 20)
      .addFile(library + "/Containers/com.x.mail/Data/Library/Logs/mail.log", 30)
      .addFile(library + "/Containers/com.x.mail/Data/Library/Caches/not-a-log", 40)
      .addFile(library + "/Preferences/not-a-log.plist", 50)
      .addFile("/Library/Logs/system.log", 60);
  auto link = std::make_shared<FakeUserAgentLink>("", tree.host(library));
  auto group = std::static_pointer_cast<UserLogsGroup>(ItemGroup::group(ItemGroupName::userLogs));
  UserLogsGroupSanitizer sanitizer(group, environment(link));
  std::uint64_t units = 0;
  auto operation = sanitizer.scan(nullptr, [&units](std::uint64_t progress, std::uint64_t) { units += progress; });
  ASSERT_TRUE(operation);
  operation->waitUntilFinished();
  const std::map<std::string, std::uint64_t> expected = {
      {tree.host(library + "/Logs/app.log"), 10},
      {tree.host(library + "/Logs/Tool/deep.log"), 20},
      {tree.host(library + "/Containers/com.x.mail/Data/Library/Logs/mail.log"), 30},
  };
  EXPECT_EQ(files(*group), expected);
  EXPECT_EQ(link->libraryAsks.load(), 1);  // the count and the walk share one answer
  EXPECT_GT(units, 0u);
}

TEST_F(SanitizerTest, UserLogsScanWithoutAnAgentCompletesEmptyWithOneLogLine) {
  tree.addFile("/Users/bob/Library/Logs/app.log", 10);
  for (const bool withLink : {false, true}) {
    SCOPED_TRACE(withLink);
    test::LogCapture log;
    auto link = withLink ? std::make_shared<FakeUserAgentLink>() : nullptr;
    auto group = std::static_pointer_cast<UserLogsGroup>(ItemGroup::group(ItemGroupName::userLogs));
    UserLogsGroupSanitizer sanitizer(group, environment(link));
    ItemGroupPtr result;
    bool cancelled = true;
    auto operation = sanitizer.scan(
        [&](const ItemGroupPtr& scanned, bool wasCancelled) {
          result = scanned;
          cancelled = wasCancelled;
        },
        [](std::uint64_t, std::uint64_t) {});
    operation->waitUntilFinished();
    EXPECT_EQ(result, group);
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(group->count(), 0u);
    const auto messages = log.messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& line) {
                              // The log writes the apostrophe escaped.
                              return line.find("Couldn\\'t get libraryDirectory from user agent") !=
                                     std::string::npos;
                            }),
              1);
    if (link) {
      EXPECT_EQ(link->libraryAsks.load(), 1);
    }
  }
}

// The same scan through the real link: the daemon's end of the agent
// service and the stand-in agent serving bob.
TEST_F(SanitizerTest, UserLogsScanThroughTheAgentServiceFindsBobsLogs) {
  tree.addFile("/Users/bob/Library/Logs/app.log", 10).addFile("/Users/bob/Library/Caches/not-a-log", 20);
  auto manager = UserAgentManger::make();
  ASSERT_TRUE(manager->startListening());
  auto agent = agent::UserAgentStandIn::make("bob", nullptr);
  agent->start();
  for (int i = 0; i < 6000 && !manager->userAgent(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  auto group = std::static_pointer_cast<UserLogsGroup>(ItemGroup::group(ItemGroupName::userLogs));
  UserLogsGroupSanitizer sanitizer(group, environment(manager));
  auto operation = sanitizer.scan(nullptr, nullptr);
  operation->waitUntilFinished();
  EXPECT_EQ(files(*group), (std::map<std::string, std::uint64_t>{{tree.host("/Users/bob/Library/Logs/app.log"), 10}}));
  agent->stop();
  manager->stopListening();
}

// The demo's tree, as the main job lays it out, scans to what it holds.
TEST_F(SanitizerTest, TheDemoTreesCachesAndLogsScanToWhatWasLaidOut) {
  const auto summary = test::DemoTree::layOut(tree, "demo", 30);
  const std::string library = "/Users/demo/Library";
  auto link = std::make_shared<FakeUserAgentLink>(tree.host(library + "/Caches"), tree.host(library));
  auto caches = std::static_pointer_cast<UserCacheGroup>(ItemGroup::group(ItemGroupName::userCache));
  auto logs = std::static_pointer_cast<UserLogsGroup>(ItemGroup::group(ItemGroupName::userLogs));
  UserCachesSanitizer(caches, environment(link)).scan(nullptr, nullptr)->waitUntilFinished();
  UserLogsGroupSanitizer(logs, environment(link)).scan(nullptr, nullptr)->waitUntilFinished();
  EXPECT_EQ(caches->count(), 30u);
  EXPECT_EQ(caches->size(), summary.userCacheBytes);
  EXPECT_EQ(logs->count(), 3u);
  EXPECT_EQ(logs->size(), summary.userLogBytes);
}

}  // namespace
}  // namespace vozi
