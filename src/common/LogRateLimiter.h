#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <source_location>
#include <string>

namespace vozi {

// Keeps the lines that someone outside the process can trigger (a client of
// the socket, a peer of a service) from flooding the log: at most
// linesPerSecond lines are let through in any one second; the rest are
// counted, and the next line let through is preceded by one line
//   "<label>: <N> lines suppressed"
// so the log shows how much was left out. Without that, a client could wipe
// the log's history (the file is emptied once it is full) by sending bytes.
//
//   if (budget.allow()) MLogf("Bytes read: %@", count);
//
// Safe to use from any thread. The clock is injectable so that tests can
// drive it; by default it is the steady clock.
class LogRateLimiter {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::size_t defaultLinesPerSecond = 20;

  explicit LogRateLimiter(std::string label, std::size_t linesPerSecond = defaultLinesPerSecond, Clock clock = {});
  LogRateLimiter(const LogRateLimiter&) = delete;
  LogRateLimiter& operator=(const LogRateLimiter&) = delete;

  // Whether one more line may be written now. A false answer counts the line
  // as suppressed. The count line, when due, is written at `where` (the
  // caller's place) before this returns true.
  bool allow(const std::source_location& where = std::source_location::current());
  // Writes the count line now if lines were suppressed since the last one
  // let through (for an owner that is going away and would never write
  // another line).
  void flush(const std::source_location& where = std::source_location::current());

  // Lines suppressed and not yet reported by a count line.
  std::uint64_t suppressedCount() const;
  const std::string& label() const { return label_; }

 private:
  // Takes the unreported count, if any, for a count line.
  std::uint64_t takeSuppressed();
  void writeCount(std::uint64_t count, const std::source_location& where) const;

  const std::string label_;
  const std::size_t linesPerSecond_;
  const Clock clock_;
  mutable std::mutex mutex_;
  std::chrono::steady_clock::time_point windowStart_{};
  bool windowOpen_ = false;
  std::size_t linesInWindow_ = 0;
  std::uint64_t suppressed_ = 0;
};

}  // namespace vozi
