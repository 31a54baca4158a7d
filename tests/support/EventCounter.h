#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vozi::test {

// Counts events and lets a test wait for a number of them.
class EventCounter {
 public:
  void add() {
    std::lock_guard lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  // False when the patience ran out (a safety net against a hang, not a timing).
  bool waitFor(int target) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(60), [&] { return count_ >= target; });
  }
  int count() const {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

}  // namespace vozi::test
