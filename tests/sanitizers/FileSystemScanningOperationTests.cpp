#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <vector>

#include "common/BigFilesGroup.h"
#include "common/UserCacheGroup.h"
#include "sanitizers/FileSystemScanningOperation.h"
#include "sanitizers/UserCacheScanningOperation.h"
#include "support/LogCapture.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"

namespace vozi {
namespace {

using test::FakeUserAgentLink;
using test::ScanFixture;
using Reports = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

std::shared_ptr<UserCacheGroup> userCacheGroup() {
  return std::static_pointer_cast<UserCacheGroup>(ItemGroup::group(ItemGroupName::userCache));
}

struct Outcome {
  ItemGroupPtr group;
  bool cancelled = false;
  int completions = 0;
  Reports reports;
};

class FileSystemScanningOperationTest : public ::testing::Test, public ScanFixture {
 protected:
  std::shared_ptr<UserCacheScanningOperation> userCacheScan(Outcome& outcome, std::shared_ptr<IUserAgentLink> link,
                                                           bool withProgress = true) {
    BaseSanitizerOperation<UserCacheGroup>::ProgressHandler progress;
    if (withProgress) progress = [&outcome](std::uint64_t p, std::uint64_t d) { outcome.reports.emplace_back(p, d); };
    return std::make_shared<UserCacheScanningOperation>(
        userCacheGroup(),
        [&outcome](const std::shared_ptr<UserCacheGroup>& group, bool cancelled) {
          outcome.group = group;
          outcome.cancelled = cancelled;
          ++outcome.completions;
        },
        progress, std::move(link));
  }
};

TEST_F(FileSystemScanningOperationTest, FindsFilesPackagesWholeAndLinksAsThemselves) {
  tree.addFile("/Users/bob/Library/Caches/a", 10)
      .addFile("/Users/bob/Library/Caches/empty", 0)
      .addFile("/Users/bob/Library/Caches/Foo.app/Contents/x", 5)
      .addFile("/Users/bob/Library/Caches/Foo.app/Contents/.hidden", 7)
      .addFile("/Users/bob/Library/Caches/Foo.app/Contents/Empty.app/y", 0)
      .addSymlink("/Users/bob/Library/Caches/ln", "/etc/passwd")
      .addFile("/Users/bob/Library/Caches/DIV.EZ.IRU/inside", 20)
      .addFile("/Users/bob/Library/Caches/sub/b", 30)
      .addFile("/Users/bob/Library/Caches/sub/Empty.bundle/z", 0);
  Outcome outcome;
  run(userCacheScan(outcome, std::make_shared<FakeUserAgentLink>(caches())));

  ASSERT_EQ(outcome.completions, 1);
  ASSERT_TRUE(outcome.group);
  EXPECT_FALSE(outcome.cancelled);
  const std::map<std::string, std::uint64_t> expected = {
      {caches() + "/a", 10},
      {caches() + "/Foo.app", 12},
      {caches() + "/ln", std::string("/etc/passwd").size()},
      {caches() + "/sub/b", 30},
  };
  EXPECT_EQ(files(*outcome.group), expected);
  EXPECT_EQ(outcome.group->size(), 10u + 12u + 11u + 30u);

  // a, empty, Foo.app, ln, sub, sub/b, sub/Empty.bundle; the support folder is not counted.
  ASSERT_FALSE(outcome.reports.empty());
  EXPECT_EQ(outcome.reports.front(), (std::pair<std::uint64_t, std::uint64_t>{0, 7}));
  std::uint64_t sum = 0;
  for (const auto& [progress, duration] : outcome.reports) {
    sum += progress;
    EXPECT_EQ(duration, 7u);
  }
  EXPECT_EQ(sum, 7u);
}

// Over thousands of entries (reports grouped), the first report gives the
// total and the units add up to it, scan after scan.
TEST_F(FileSystemScanningOperationTest, ProgressAddsUpToTheCountOverThousandsOfFiles) {
  constexpr std::uint64_t kFiles = 3000;
  for (std::uint64_t i = 0; i < kFiles; ++i)
    tree.addFile("/Users/bob/Library/Caches/d" + std::to_string(i % 3) + "/f" + std::to_string(i), 1);
  for (int round = 0; round < 3; ++round) {
    Outcome outcome;
    run(userCacheScan(outcome, std::make_shared<FakeUserAgentLink>(caches())));
    ASSERT_TRUE(outcome.group);
    EXPECT_EQ(outcome.group->count(), kFiles);
    ASSERT_FALSE(outcome.reports.empty());
    EXPECT_EQ(outcome.reports.front(), (std::pair<std::uint64_t, std::uint64_t>{0, kFiles + 3}));
    std::uint64_t sum = 0;
    for (const auto& [progress, duration] : outcome.reports) {
      sum += progress;
      EXPECT_EQ(duration, kFiles + 3);
    }
    EXPECT_EQ(sum, kFiles + 3);  // the files and their three folders
  }
}

TEST_F(FileSystemScanningOperationTest, CancelledScanStopsAndCompletesWithNothing) {
  for (int i = 0; i < 20; ++i) tree.addFile("/Users/bob/Library/Caches/f" + std::to_string(100 + i), 1);
  Outcome outcome;
  std::shared_ptr<UserCacheScanningOperation> operation;
  std::uint64_t seen = 0;
  operation = std::make_shared<UserCacheScanningOperation>(
      userCacheGroup(),
      [&outcome](const std::shared_ptr<UserCacheGroup>& group, bool cancelled) {
        outcome.group = group;
        outcome.cancelled = cancelled;
        ++outcome.completions;
      },
      [&](std::uint64_t progress, std::uint64_t) {
        seen += progress;
        if (seen == 3) operation->cancel();
      },
      std::make_shared<FakeUserAgentLink>(caches()));
  auto group = operation->itemGroup();
  run(operation);
  EXPECT_EQ(outcome.completions, 1);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_FALSE(outcome.group);
  EXPECT_EQ(seen, 3u);  // no unit after the cancel, no last flush
  EXPECT_EQ(group->count(), 3u);
  operation.reset();
}

TEST_F(FileSystemScanningOperationTest, BackgroundScanPausesOnceEveryFiveEntries) {
  for (int i = 0; i < 16; ++i) tree.addFile("/Users/bob/Library/Caches/f" + std::to_string(100 + i), 1);
  const struct {
    platform::QualityOfService qos;
    std::uint64_t pauses;
  } cases[] = {{platform::QualityOfService::background, 3}, {platform::QualityOfService::userInitiated, 0}};
  for (const auto& c : cases) {
    Outcome outcome;
    auto operation = userCacheScan(outcome, std::make_shared<FakeUserAgentLink>(caches()), false);
    operation->setQualityOfService(c.qos);
    run(operation);
    EXPECT_EQ(operation->backgroundPauses(), c.pauses) << static_cast<int>(c.qos);
    EXPECT_EQ(outcome.group->count(), 16u);
  }
}

TEST_F(FileSystemScanningOperationTest, ARootBehindALinkIsSkippedWithALogLine) {
  tree.addFile("/Users/eve/stash/secret", 10).addDirectory("/Users/bob/Library/Elsewhere");
  tree.addSymlink("/Users/bob/Library/Elsewhere/Caches", root / "/Users/eve/stash");
  test::LogCapture log;
  Outcome outcome;
  run(userCacheScan(outcome, std::make_shared<FakeUserAgentLink>(tree.host("/Users/bob/Library/Elsewhere/Caches"))));
  ASSERT_TRUE(outcome.group);
  EXPECT_FALSE(outcome.cancelled);
  EXPECT_EQ(outcome.group->count(), 0u);
  bool logged = false;
  for (const auto& line : log.lines()) logged |= line.find("Scanning root skipped") != std::string::npos;
  EXPECT_TRUE(logged);
}

TEST_F(FileSystemScanningOperationTest, NoAgentCompletesEmptyAndAsksAgainNextTime) {
  tree.addFile("/Users/bob/Library/Caches/a", 10);
  const auto link = std::make_shared<FakeUserAgentLink>();  // noUserContext
  for (const bool withLink : {true, true, false}) {
    Outcome outcome;
    run(userCacheScan(outcome, withLink ? link : nullptr));
    ASSERT_TRUE(outcome.group);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_EQ(outcome.group->count(), 0u);
    EXPECT_EQ(outcome.reports, (Reports{{0, 0}}));
  }
  // Once per scan with a link: its count and its walk share one answer.
  EXPECT_EQ(link->cachesAsks.load(), 2);
}

TEST_F(FileSystemScanningOperationTest, MinimumSizeAndLastAccessFilters) {
  const platform::Date now = platform::Date::now();
  const platform::Date threshold = platform::Date::fromTimeIntervalSince1970(now.timeIntervalSince1970() - 1000);
  tree.addFile("/Users/bob/Big/f50", 50).addFile("/Users/bob/Big/f49", 49).addFile("/Users/bob/Big/old", 60);
  tree.addFile("/Users/bob/Big/atThreshold", 60).addFile("/Users/bob/Big/recent", 60);
  tree.addFile("/Users/bob/Big/Old.app/Contents/x", 60);
  tree.setDates("/Users/bob/Big/old", platform::Date::fromTimeIntervalSince1970(threshold.timeIntervalSince1970() - 10),
                threshold);
  tree.setDates("/Users/bob/Big/atThreshold", threshold, threshold);
  tree.setDates("/Users/bob/Big/f50", platform::Date::fromTimeIntervalSince1970(100), threshold);
  tree.setDates("/Users/bob/Big/f49", platform::Date::fromTimeIntervalSince1970(100), threshold);

  const struct {
    std::optional<platform::Date> minLastAccess;
    std::vector<std::string> added;
  } cases[] = {
      {std::nullopt,
       {"/Users/bob/Big/Old.app", "/Users/bob/Big/atThreshold", "/Users/bob/Big/f50", "/Users/bob/Big/old",
        "/Users/bob/Big/recent"}},
      {threshold, {"/Users/bob/Big/Old.app", "/Users/bob/Big/f50", "/Users/bob/Big/old"}},
  };
  for (const auto& c : cases) {
    // Measuring a package reads its folder, which marks it read: set its dates for each scan.
    tree.setDates("/Users/bob/Big/Old.app", platform::Date::fromTimeIntervalSince1970(100), threshold);
    auto group = std::static_pointer_cast<BigFilesGroup>(ItemGroup::group(ItemGroupName::bigFiles));
    group->setMinFileSizeToScan(50);
    group->setMinLastAccessDate(c.minLastAccess);
    group->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(tree.host("/Users/bob/Big"), true)});
    auto operation = std::make_shared<FileSystemScanningOperation<BigFilesGroup, FileItem>>(group, nullptr, nullptr);
    run(operation);
    std::vector<std::string> added;
    for (const auto& [path, size] : files(*group)) added.push_back(path);
    std::vector<std::string> expected;
    for (const auto& path : c.added) expected.push_back(tree.host(path));
    EXPECT_EQ(added, expected) << c.minLastAccess.has_value();
  }
}

}  // namespace
}  // namespace vozi
