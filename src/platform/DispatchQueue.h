#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

namespace vozi::platform {

// How urgent work is. The raw values are the ones clients and stored
// requests carry (a scan started by the UI travels as 25).
enum class QualityOfService : int {
  background = 9,
  utility = 17,
  defaultQoS = -1,
  userInitiated = 25,
  userInteractive = 33,
};

constexpr int rawValue(QualityOfService qos) { return static_cast<int>(qos); }
// The case of a raw value; none for any other number.
std::optional<QualityOfService> qualityOfServiceFromRawValue(int raw);

// A queue of blocks run by worker threads of its own: serial (one block at a
// time, in submission order) or concurrent (a thread per waiting block, grown
// on demand so that blocks that wait on each other cannot starve). Threads are
// started lazily, carry the queue's label as their name, leave after a while
// idle, and are stopped when the queue is destroyed; blocks already submitted
// still run before the destructor returns.
class DispatchQueue {
 public:
  using Block = std::function<void()>;
  using Clock = std::chrono::steady_clock;

  enum class Kind { serial, concurrent };

  static std::shared_ptr<DispatchQueue> serial(std::string label,
                                               QualityOfService qos = QualityOfService::defaultQoS);
  static std::shared_ptr<DispatchQueue> concurrent(std::string label,
                                                   QualityOfService qos = QualityOfService::defaultQoS);
  // The process-wide concurrent queue of a quality of service; never destroyed.
  static std::shared_ptr<DispatchQueue> global(QualityOfService qos = QualityOfService::defaultQoS);

  DispatchQueue(Kind kind, std::string label, QualityOfService qos);
  ~DispatchQueue();
  DispatchQueue(const DispatchQueue&) = delete;
  DispatchQueue& operator=(const DispatchQueue&) = delete;

  const std::string& label() const;
  Kind kind() const;
  QualityOfService qualityOfService() const;

  void async(Block block);
  // Runs the block and waits for it. A sync onto a serial queue from a block
  // already running on it would deadlock: that aborts with a message instead.
  void sync(const Block& block);
  // sync that hands back the block's result.
  template <class F>
  auto syncResult(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
      sync([&] { f(); });
    } else {
      std::optional<R> result;
      sync([&] { result.emplace(f()); });
      return std::move(*result);
    }
  }
  void asyncAfter(Clock::time_point deadline, Block block);
  void asyncAfter(Clock::duration delay, Block block) { asyncAfter(Clock::now() + delay, std::move(block)); }

  // True while the calling thread runs a block of this queue, also inside a
  // sync that such a block made onto another queue.
  bool isCurrent() const;
  // The label of the innermost queue the calling thread runs a block of, or
  // the empty string.
  static std::string currentLabel();

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;

}  // namespace vozi::platform
