#include "platform/DispatchGroup.h"

#include "platform/Fatal.h"

namespace vozi::platform {

void DispatchGroup::enter() {
  std::lock_guard lock(mutex_);
  ++count_;
}

void DispatchGroup::leave() {
  std::vector<std::pair<DispatchQueuePtr, std::function<void()>>> ready;
  {
    std::lock_guard lock(mutex_);
    if (count_ == 0) fatalStop("DispatchGroup.leave without a matching enter");
    if (--count_ > 0) return;
    ready.swap(notifications_);
    empty_.notify_all();
  }
  for (auto& [queue, block] : ready) queue->async(std::move(block));
}

void DispatchGroup::wait() {
  std::unique_lock lock(mutex_);
  empty_.wait(lock, [&] { return count_ == 0; });
}

bool DispatchGroup::wait(std::chrono::steady_clock::duration timeout) {
  std::unique_lock lock(mutex_);
  return empty_.wait_for(lock, timeout, [&] { return count_ == 0; });
}

void DispatchGroup::notify(const DispatchQueuePtr& queue, std::function<void()> block) {
  {
    std::lock_guard lock(mutex_);
    if (count_ > 0) {
      notifications_.emplace_back(queue, std::move(block));
      return;
    }
  }
  queue->async(std::move(block));
}

void DispatchGroup::async(const DispatchQueuePtr& queue, std::function<void()> block) {
  enter();
  queue->async([this, block = std::move(block)] {
    block();
    leave();
  });
}

}  // namespace vozi::platform
