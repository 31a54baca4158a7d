#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/Operation.h"

namespace vozi {

// The base of every operation the sanitizer framework queues: an operation
// that can be parked at waiting points of its own choosing while a paused
// flag is set, and that cancel() always unparks, so a cancelled operation
// never stays parked.
//
// setPaused and cancel may be called from any thread; waitWhilePaused only
// from the operation's own main(). Nothing pauses an operation today; the
// flag exists so a caller can hold a long walk without cancelling it.
class OperationWithPause : public platform::Operation {
 public:
  OperationWithPause() = default;

  // Cancels, then clears the paused flag and wakes a parked main().
  void cancel() override;

  bool isPaused() const;
  // Clearing the flag wakes a parked main().
  void setPaused(bool paused);

 protected:
  // Returns at once when not paused; else parks until the flag is cleared
  // or the operation is cancelled. The caller tests isCancelled() after.
  void waitWhilePaused();

 private:
  mutable std::mutex pauseMutex_;
  std::condition_variable pauseCondition_;
  bool paused_ = false;
};

}  // namespace vozi
