#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Operation.h"
#include "platform/OperationQueue.h"

namespace vozi::platform {

// What an operation shares with the queue that runs it. The flags are
// atomic so that a running main() and the queue read them without a lock;
// the rest is guarded by `mutex`. Lock order: a queue's lock before an
// operation's; never an operation's lock while calling out.
struct Operation::State {
  enum class Phase { pending, executing, finished };

  mutable std::mutex mutex;
  std::condition_variable finishedChanged;
  std::string name;
  std::atomic<bool> cancelled{false};
  std::atomic<Phase> phase{Phase::pending};
  std::atomic<bool> hasQualityOfService{false};
  std::atomic<QualityOfService> qualityOfService{QualityOfService::defaultQoS};
  std::vector<std::shared_ptr<Operation>> dependencies;
  // The operations waiting for this one, told when it finishes.
  std::vector<std::weak_ptr<State>> dependents;
  std::function<void()> completionBlock;
  std::weak_ptr<OperationQueue::Impl> queue;
  bool queued = false;

  // Every dependency has finished.
  bool dependenciesMet() const;
  void addDependent(const std::shared_ptr<State>& dependent);
  void removeDependent(const std::shared_ptr<State>& dependent);
  // Lets the queue holding this operation start what has become ready.
  void pokeQueue() const;
  QualityOfService queueQualityOfService() const;
};

}  // namespace vozi::platform
