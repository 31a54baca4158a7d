#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/LogRateLimiter.h"
#include "support/LogCapture.h"

namespace vozi {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A clock the test moves by hand.
struct ManualClock {
  Clock::time_point now{};
  LogRateLimiter::Clock function() {
    return [this] { return now; };
  }
};

struct Case {
  const char* name;
  std::size_t linesPerSecond;
  std::vector<int> at;  // milliseconds of each line asked for
  std::string allowed;  // 'y' or 'n' for each line
  // The count lines written, in order, including the one flush() writes at the end.
  std::vector<std::string> counts;
};

TEST(LogRateLimiterTest, LetsThroughTheRateAndReportsWhatItHeldBack) {
  const Case cases[] = {
      {"a burst past the rate", 3, {0, 0, 0, 0, 0, 1000}, "yyynny", {"test: 2 lines suppressed"}},
      {"lines spread out are never held back", 2, {0, 500, 1000, 1500, 2000, 2999}, "yyyyyy", {}},
      {"the second ends a whole second after it opened", 1, {0, 999, 1000, 1000}, "ynyn",
       {"test: 1 lines suppressed", "test: 1 lines suppressed"}},
      {"a quiet spell opens a new second at the next line", 2, {0, 900, 1500, 1600, 1700, 2400}, "yyyynn",
       {"test: 2 lines suppressed"}},
      {"nothing ever goes through a zero rate", 0, {0, 5000}, "nn", {"test: 2 lines suppressed"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::LogCapture log;
    ManualClock clock;
    LogRateLimiter limiter("test", c.linesPerSecond, clock.function());
    std::string allowed;
    for (int at : c.at) {
      clock.now = Clock::time_point(milliseconds(at));
      allowed += limiter.allow() ? 'y' : 'n';
    }
    limiter.flush();
    EXPECT_EQ(allowed, c.allowed);
    EXPECT_EQ(limiter.suppressedCount(), 0u);
    std::vector<std::string> counts;
    for (const auto& message : log.messages())
      if (message.find("lines suppressed") != std::string::npos) counts.push_back(message);
    EXPECT_EQ(counts, c.counts);
  }
}

TEST(LogRateLimiterTest, TheCountLineComesBeforeTheLineLetThroughAtTheCallersPlace) {
  test::LogCapture log;
  ManualClock clock;
  LogRateLimiter limiter("uid 501", 1, clock.function());
  ASSERT_TRUE(limiter.allow());
  for (int i = 0; i < 1000; ++i) EXPECT_FALSE(limiter.allow());
  EXPECT_EQ(limiter.suppressedCount(), 1000u);
  clock.now += std::chrono::seconds(1);
  ASSERT_TRUE(limiter.allow());
  const auto lines = log.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("LogRateLimiterTests.cpp"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("]: uid 501: 1000 lines suppressed"), std::string::npos) << lines[0];
  // Reported once: nothing is left for a flush.
  limiter.flush();
  EXPECT_EQ(log.lines().size(), 1u);
}

}  // namespace
}  // namespace vozi
