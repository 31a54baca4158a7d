#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sanitizers/ProgressReporter.h"

namespace vozi {
namespace {

struct Update {
  std::optional<std::string> operation;
  std::uint64_t progress;
  std::uint64_t duration;
  std::vector<double> reported;  // what this update reports, if anything
};

struct Scenario {
  const char* what;
  std::int64_t operations;
  std::vector<Update> updates;
};

TEST(ProgressReporterTest, ReportsOnlyOnceEveryOperationAnnouncedItselfAndTheFractionRoseEnough) {
  const std::string a = "A", b = "B", c = "C";
  const Scenario scenarios[] = {
      {"three operations, two announced", 3, {{a, 0, 10, {}}, {b, 5, 10, {}}, {a, 10, 10, {}}, {b, 5, 10, {}}}},
      {"increments of 5 out of 10,000", 1, {{a, 0, 10000, {}}, {a, 5, 10000, {}}, {a, 5, 10000, {0.001}}}},
      {"increments of 1 out of 1,000", 1, {{a, 0, 1000, {}}, {a, 1, 1000, {0.001}}, {a, 1, 1000, {0.002}}}},
      {"a larger duration announced later",
       1,
       {{a, 50, 100, {0.5}}, {a, 0, 200, {}}, {a, 50, 200, {}}, {a, 1, 200, {0.505}}}},
      {"an update without an operation", 1, {{std::nullopt, 5, 10, {}}, {a, 5, 10, {0.5}}}},
      {"no work announced", 1, {{a, 5, 0, {}}, {a, 5, 0, {}}}},
      {"the last one to announce itself reports at once",
       2,
       {{a, 30, 100, {}}, {b, 10, 100, {0.2}}, {c, 0, 0, {}}}},
      {"sums saturate instead of wrapping",
       2,
       {{a, 0, std::numeric_limits<std::uint64_t>::max(), {}},
        {b, std::numeric_limits<std::uint64_t>::max(), 10, {1.0}},
        {b, 1, 10, {}}}},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.what);
    ProgressReporter reporter;
    std::vector<double> reports;
    reporter.setNumberOfOperations(scenario.operations);
    reporter.setProgressReportHandler([&](double fraction) { reports.push_back(fraction); });
    for (std::size_t i = 0; i < scenario.updates.size(); ++i) {
      const Update& update = scenario.updates[i];
      const std::size_t before = reports.size();
      reporter.registerUpdate(update.operation, update.progress, update.duration);
      const std::vector<double> made(reports.begin() + static_cast<std::ptrdiff_t>(before), reports.end());
      ASSERT_EQ(made.size(), update.reported.size()) << "update " << i;
      for (std::size_t k = 0; k < made.size(); ++k) EXPECT_DOUBLE_EQ(made[k], update.reported[k]) << "update " << i;
    }
  }
}

TEST(ProgressReporterTest, AfterResetNothingIsReportedUntilTheOperationsAnnounceThemselvesAgain) {
  ProgressReporter reporter;
  int reports = 0;
  reporter.setNumberOfOperations(1);
  reporter.setProgressReportHandler([&](double) { ++reports; });
  reporter.registerUpdate("A", 5, 10);
  EXPECT_EQ(reports, 1);
  reporter.reset();
  EXPECT_FALSE(reporter.progressReportHandler());
  reporter.setProgressReportHandler([&](double) { ++reports; });
  reporter.registerUpdate("A", 5, 10);
  EXPECT_EQ(reports, 1) << "no number of operations yet";
  reporter.setNumberOfOperations(2);
  reporter.registerUpdate("B", 5, 10);
  EXPECT_EQ(reports, 2);
}

TEST(ProgressReporterTest, UpdatesFromManyThreadsGiveRisingReportsUpToTheEnd) {
  constexpr int kThreads = 8;
  constexpr std::uint64_t kWork = 2000;
  ProgressReporter reporter;
  std::mutex mutex;
  std::vector<double> reports;
  reporter.setNumberOfOperations(kThreads);
  reporter.setProgressReportHandler([&](double fraction) {
    std::lock_guard lock(mutex);
    reports.push_back(fraction);
  });
  for (int t = 0; t < kThreads; ++t) reporter.registerUpdate("op" + std::to_string(t), 0, kWork);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (std::uint64_t i = 0; i < kWork; ++i) reporter.registerUpdate("op" + std::to_string(t), 1, kWork);
    });
  for (auto& thread : threads) thread.join();
  ASSERT_FALSE(reports.empty());
  for (std::size_t i = 1; i < reports.size(); ++i) ASSERT_GT(reports[i], reports[i - 1]);
  // The last rise may be too small to report; the request's end says the rest.
  EXPECT_GT(reports.back(), 1.0 - 2 * ProgressReporter::kMinFractionToReport);
  EXPECT_LE(reports.back(), 1.0);
}

}  // namespace
}  // namespace vozi
