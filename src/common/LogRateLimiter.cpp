#include "common/LogRateLimiter.h"

#include <utility>

#include "common/MLog.h"

namespace vozi {

LogRateLimiter::LogRateLimiter(std::string label, std::size_t linesPerSecond, Clock clock)
    : label_(std::move(label)),
      linesPerSecond_(linesPerSecond),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })) {}

bool LogRateLimiter::allow(const std::source_location& where) {
  std::uint64_t unreported = 0;
  {
    std::lock_guard lock(mutex_);
    const auto now = clock_();
    // A fixed window of one second that opens with the first line after the
    // last window ran out.
    if (!windowOpen_ || now - windowStart_ >= std::chrono::seconds(1)) {
      windowStart_ = now;
      windowOpen_ = true;
      linesInWindow_ = 0;
    }
    if (linesInWindow_ >= linesPerSecond_) {
      ++suppressed_;
      return false;
    }
    ++linesInWindow_;
    unreported = std::exchange(suppressed_, 0);
  }
  if (unreported > 0) writeCount(unreported, where);
  return true;
}

void LogRateLimiter::flush(const std::source_location& where) {
  if (const auto count = takeSuppressed(); count > 0) writeCount(count, where);
}

std::uint64_t LogRateLimiter::suppressedCount() const {
  std::lock_guard lock(mutex_);
  return suppressed_;
}

std::uint64_t LogRateLimiter::takeSuppressed() {
  std::lock_guard lock(mutex_);
  return std::exchange(suppressed_, 0);
}

void LogRateLimiter::writeCount(std::uint64_t count, const std::source_location& where) const {
  MLogFormatted(StringFormat::formatted("%@: %@ lines suppressed", label_, count), where);
}

}  // namespace vozi
