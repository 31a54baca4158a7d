#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "common/UserCacheGroup.h"
#include "platform/OperationQueue.h"
#include "sanitizers/BaseFilesScanningOperation.h"

namespace vozi {
namespace {

using Reports = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

class CountingOperation : public BaseFilesScanningOperation<UserCacheGroup> {
 public:
  using BaseFilesScanningOperation::BaseFilesScanningOperation;
  using BaseFilesScanningOperation::waitWhilePaused;
};

std::shared_ptr<CountingOperation> makeOperation(Reports* reports) {
  BaseSanitizerOperation<UserCacheGroup>::ProgressHandler handler;
  if (reports != nullptr) handler = [reports](std::uint64_t p, std::uint64_t d) { reports->emplace_back(p, d); };
  return std::make_shared<CountingOperation>(nullptr, nullptr, handler);
}

TEST(BaseSanitizerOperationTest, ReportIntervalIsAThousandthOfTheTotal) {
  const struct {
    std::uint64_t duration, interval;
  } cases[] = {{0, 1}, {1, 1}, {1000, 1}, {1001, 1}, {1999, 1}, {5000, 5}, {2'000'000, 2000}};
  for (const auto& c : cases) {
    Reports reports;
    auto operation = makeOperation(&reports);
    operation->setDuration(c.duration);
    EXPECT_EQ(operation->progressReportInterval(), c.interval) << c.duration;
    EXPECT_EQ(reports, (Reports{{0, c.duration}})) << c.duration;
  }
}

TEST(BaseSanitizerOperationTest, IncrementsAreBatchedAndTheRestFlushedOnce) {
  Reports reports;
  auto operation = makeOperation(&reports);
  operation->setDuration(5000);  // interval 5
  for (int i = 0; i < 5; ++i) operation->incrementProgress(3);
  operation->progressDidFinish();
  operation->progressDidFinish();  // nothing left: no report
  EXPECT_EQ(reports, (Reports{{0, 5000}, {6, 5000}, {6, 5000}, {3, 5000}}));
  EXPECT_EQ(operation->currentProgress(), 15u);
}

TEST(BaseSanitizerOperationTest, WithoutAHandlerNothingIsCounted) {
  auto operation = makeOperation(nullptr);
  EXPECT_FALSE(operation->shouldCalculateDuration());
  operation->setDuration(10);
  operation->incrementProgress(4);
  operation->progressDidFinish();
  EXPECT_EQ(operation->currentProgress(), 0u);
}

TEST(BaseSanitizerOperationTest, OnlyABackgroundOperationPausesBeforeEveryFifthItemAfterTheFifth) {
  const struct {
    platform::QualityOfService qos;
    int items;
    std::uint64_t pauses;
  } cases[] = {
      {platform::QualityOfService::background, 5, 0},     {platform::QualityOfService::background, 6, 1},
      {platform::QualityOfService::background, 16, 3},    {platform::QualityOfService::userInitiated, 16, 0},
      {platform::QualityOfService::defaultQoS, 16, 0},
  };
  for (const auto& c : cases) {
    auto operation = makeOperation(nullptr);
    operation->setQualityOfService(c.qos);
    for (int i = 0; i < c.items; ++i) operation->handleBackgroundScan();
    EXPECT_EQ(operation->backgroundPauses(), c.pauses) << static_cast<int>(c.qos) << " " << c.items;
  }
}

TEST(BaseFilesScanningOperationTest, SkipsTheSupportFolderInAnyCase) {
  auto operation = makeOperation(nullptr);
  const struct {
    const char* path;
    FileManagerEnumerationAction action;
  } cases[] = {
      {"/r/Library/Application Support/div.ez.iru", FileManagerEnumerationAction::skipPath},
      {"/r/Library/Caches/DIV.EZ.IRU/x", FileManagerEnumerationAction::skipPath},
      {"/r/Library/Caches/com.other", FileManagerEnumerationAction::continueEnumeration},
      {"/r/Library/Caches/div.ez", FileManagerEnumerationAction::continueEnumeration},
  };
  for (const auto& c : cases) EXPECT_EQ(operation->handleSubpath(c.path), c.action) << c.path;
}

TEST(OperationWithPauseTest, CancelWakesAParkedOperationAndLeavesItUnpaused) {
  auto operation = makeOperation(nullptr);
  operation->setPaused(true);
  std::promise<void> parked;
  std::promise<void> woke;
  std::thread worker([&] {
    parked.set_value();
    operation->waitWhilePaused();
    woke.set_value();
  });
  parked.get_future().wait();
  operation->cancel();
  woke.get_future().wait();
  worker.join();
  EXPECT_TRUE(operation->isCancelled());
  EXPECT_FALSE(operation->isPaused());
}

TEST(OperationWithPauseTest, AWaitingPointAfterCancellationDoesNotWait) {
  auto operation = makeOperation(nullptr);
  operation->cancel();
  operation->setPaused(true);  // a cancelled operation is never parked again
  EXPECT_FALSE(operation->isPaused());
  operation->waitWhilePaused();
  EXPECT_TRUE(operation->isCancelled());
}

TEST(OperationWithPauseTest, ClearingTheFlagResumesAParkedOperation) {
  auto operation = makeOperation(nullptr);
  operation->setPaused(true);
  std::thread worker([&] { operation->waitWhilePaused(); });
  operation->setPaused(false);
  worker.join();
  EXPECT_FALSE(operation->isCancelled());
}

}  // namespace
}  // namespace vozi
