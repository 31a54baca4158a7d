#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/DispatchQueue.h"

namespace vozi::platform {

// Counts outstanding work; waiters and notify blocks run once the count is 0.
class DispatchGroup {
 public:
  void enter();
  void leave();
  void wait();
  // False when the time-out passed first.
  bool wait(std::chrono::steady_clock::duration timeout);
  // Queues the block on the queue once the group is empty (at once if it is).
  void notify(const DispatchQueuePtr& queue, std::function<void()> block);
  // Runs the block on the queue as part of the group.
  void async(const DispatchQueuePtr& queue, std::function<void()> block);

 private:
  std::mutex mutex_;
  std::condition_variable empty_;
  long count_ = 0;
  std::vector<std::pair<DispatchQueuePtr, std::function<void()>>> notifications_;
};

}  // namespace vozi::platform
