#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vozi::platform {

// A counting semaphore with the dispatch semantics: wait takes one, signal
// gives one back and wakes a waiter.
class DispatchSemaphore {
 public:
  explicit DispatchSemaphore(long value = 0) : value_(value) {}

  void signal();
  void wait();
  // False when the time-out passed before a signal arrived.
  bool wait(std::chrono::steady_clock::duration timeout);
  bool waitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  std::mutex mutex_;
  std::condition_variable available_;
  long value_;
};

}  // namespace vozi::platform
