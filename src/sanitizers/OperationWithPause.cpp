#include "sanitizers/OperationWithPause.h"

namespace vozi {

void OperationWithPause::cancel() {
  platform::Operation::cancel();
  // The flag is read under the lock: a pause set on another thread at the
  // same moment must not be missed (that would leave the operation parked).
  {
    std::lock_guard lock(pauseMutex_);
    if (!paused_) return;
    paused_ = false;
  }
  pauseCondition_.notify_all();
}

bool OperationWithPause::isPaused() const {
  std::lock_guard lock(pauseMutex_);
  return paused_;
}

void OperationWithPause::setPaused(bool paused) {
  {
    std::lock_guard lock(pauseMutex_);
    // A cancelled operation is never parked again.
    if (paused && isCancelled()) return;
    paused_ = paused;
  }
  if (!paused) pauseCondition_.notify_all();
}

void OperationWithPause::waitWhilePaused() {
  std::unique_lock lock(pauseMutex_);
  pauseCondition_.wait(lock, [this] { return !paused_ || isCancelled(); });
}

}  // namespace vozi
