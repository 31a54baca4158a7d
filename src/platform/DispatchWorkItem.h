#pragma once

#include <atomic>
#include <functional>
#include <utility>

namespace vozi::platform {

// A block with a cancelled flag that work it starts can poll: the owner of
// a long synchronous job cancels it from another thread, the job looks
// between its steps. Cancelling does not stop a block already running.
class DispatchWorkItem {
 public:
  explicit DispatchWorkItem(std::function<void()> block = {}) : block_(std::move(block)) {}

  // Runs the block on the calling thread, unless cancelled before.
  void perform() {
    if (!isCancelled() && block_) block_();
  }
  void cancel() { cancelled_.store(true); }
  bool isCancelled() const { return cancelled_.load(); }

 private:
  std::function<void()> block_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace vozi::platform
