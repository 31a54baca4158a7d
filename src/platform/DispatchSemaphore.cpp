#include "platform/DispatchSemaphore.h"

namespace vozi::platform {

void DispatchSemaphore::signal() {
  std::lock_guard lock(mutex_);
  ++value_;
  available_.notify_one();
}

void DispatchSemaphore::wait() {
  std::unique_lock lock(mutex_);
  available_.wait(lock, [&] { return value_ > 0; });
  --value_;
}

bool DispatchSemaphore::wait(std::chrono::steady_clock::duration timeout) {
  return waitUntil(std::chrono::steady_clock::now() + timeout);
}

bool DispatchSemaphore::waitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  if (!available_.wait_until(lock, deadline, [&] { return value_ > 0; })) return false;
  --value_;
  return true;
}

}  // namespace vozi::platform
