#include "platform/OperationQueue.h"

#include <algorithm>
#include <deque>
#include <thread>
#include <unordered_map>

#include "platform/OperationState.h"

namespace vozi::platform {

// The waiting operations in the order they were added, and how many run.
// Operations start on a concurrent dispatch queue of the queue's own, one
// block per running operation, so the threads never outnumber the limit.
struct OperationQueue::Impl : std::enable_shared_from_this<OperationQueue::Impl> {
  mutable std::mutex mutex;
  std::condition_variable idle;
  std::string name;
  int maxConcurrent = kDefaultMaxConcurrentOperationCount;
  QualityOfService qos = QualityOfService::defaultQoS;
  bool suspended = false;
  std::deque<OperationPtr> waiting;
  std::unordered_map<Operation*, OperationPtr> running;
  DispatchQueuePtr workers;  // null once the queue is gone

  std::size_t limitLocked() const {
    if (maxConcurrent >= 0) return static_cast<std::size_t>(maxConcurrent);
    return std::max(1u, std::thread::hardware_concurrency());
  }

  // Starts, in order, every waiting operation that is ready (or cancelled)
  // while the limit allows.
  void poke() {
    std::vector<OperationPtr> starting;
    DispatchQueuePtr threads;
    {
      std::lock_guard lock(mutex);
      if (!workers || suspended) return;
      threads = workers;
      const std::size_t limit = limitLocked();
      for (auto it = waiting.begin(); it != waiting.end() && running.size() < limit;) {
        Operation& operation = **it;
        if (operation.isCancelled() || operation.state_->dependenciesMet()) {
          running.emplace(&operation, *it);
          starting.push_back(std::move(*it));
          it = waiting.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (auto& operation : starting) {
      threads->async([self = shared_from_this(), operation = std::move(operation)] { self->run(operation); });
    }
  }

  void run(const OperationPtr& operation) {
    auto& state = *operation->state_;
    state.phase.store(Operation::State::Phase::executing);
    if (!operation->isCancelled()) operation->main();

    std::function<void()> completion;
    {
      std::lock_guard lock(state.mutex);
      completion = std::move(state.completionBlock);
      state.completionBlock = nullptr;
    }
    if (completion) completion();

    std::vector<std::shared_ptr<Operation::State>> dependents;
    {
      std::lock_guard lock(state.mutex);
      state.phase.store(Operation::State::Phase::finished);
      for (const auto& weak : state.dependents)
        if (auto dependent = weak.lock()) dependents.push_back(std::move(dependent));
      state.dependents.clear();
      state.finishedChanged.notify_all();
    }
    {
      std::lock_guard lock(mutex);
      running.erase(operation.get());
      if (running.empty() && waiting.empty()) idle.notify_all();
    }
    poke();
    for (const auto& dependent : dependents) dependent->pokeQueue();
  }
};

bool Operation::State::dependenciesMet() const {
  std::lock_guard lock(mutex);
  return std::all_of(dependencies.begin(), dependencies.end(),
                     [](const std::shared_ptr<Operation>& d) { return d->isFinished(); });
}

void Operation::State::addDependent(const std::shared_ptr<State>& dependent) {
  std::lock_guard lock(mutex);
  if (phase.load() == Phase::finished) return;
  dependents.push_back(dependent);
}

void Operation::State::removeDependent(const std::shared_ptr<State>& dependent) {
  std::lock_guard lock(mutex);
  std::erase_if(dependents, [&](const std::weak_ptr<State>& weak) {
    const auto held = weak.lock();
    return !held || held == dependent;
  });
}

void Operation::State::pokeQueue() const {
  std::shared_ptr<OperationQueue::Impl> holder;
  {
    std::lock_guard lock(mutex);
    holder = queue.lock();
  }
  if (holder) holder->poke();
}

QualityOfService Operation::State::queueQualityOfService() const {
  std::shared_ptr<OperationQueue::Impl> holder;
  {
    std::lock_guard lock(mutex);
    holder = queue.lock();
  }
  if (!holder) return QualityOfService::defaultQoS;
  std::lock_guard lock(holder->mutex);
  return holder->qos;
}

OperationQueue::OperationQueue(std::string name) : impl_(std::make_shared<Impl>()) {
  impl_->workers = DispatchQueue::concurrent(name.empty() ? "OperationQueue" : name);
  impl_->name = std::move(name);
}

OperationQueue::~OperationQueue() {
  // Nothing waiting may start main() any more; each still finishes (on a
  // worker) so that completion blocks and waiters are not left hanging.
  std::vector<OperationPtr> unstarted;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->suspended = false;
    unstarted.assign(impl_->waiting.begin(), impl_->waiting.end());
  }
  for (const auto& operation : unstarted) operation->cancel();
  impl_->poke();
  waitUntilAllOperationsAreFinished();
  // The workers' last steps (after an operation counted as done) end here,
  // on this thread, not on a worker that happens to drop the last hold.
  DispatchQueuePtr workers;
  {
    std::lock_guard lock(impl_->mutex);
    workers = std::move(impl_->workers);
  }
  workers.reset();
}

std::string OperationQueue::name() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->name;
}

void OperationQueue::setName(std::string name) {
  std::lock_guard lock(impl_->mutex);
  impl_->name = std::move(name);
}

int OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->maxConcurrent;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->maxConcurrent = count < 0 ? kDefaultMaxConcurrentOperationCount : count;
  }
  impl_->poke();
}

bool OperationQueue::isSuspended() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->suspended;
}

void OperationQueue::setSuspended(bool suspended) {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->suspended = suspended;
  }
  impl_->poke();
}

QualityOfService OperationQueue::qualityOfService() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->qos;
}

void OperationQueue::setQualityOfService(QualityOfService qos) {
  std::lock_guard lock(impl_->mutex);
  impl_->qos = qos;
}

void OperationQueue::addOperation(const OperationPtr& operation) {
  if (!operation) return;
  {
    std::lock_guard lock(operation->state_->mutex);
    if (operation->state_->queued) return;  // an operation belongs to one queue, once
    operation->state_->queued = true;
    operation->state_->queue = impl_;
  }
  {
    std::lock_guard lock(impl_->mutex);
    impl_->waiting.push_back(operation);
  }
  impl_->poke();
}

void OperationQueue::addOperation(std::function<void()> block) { addOperation(BlockOperation::make(std::move(block))); }

std::size_t OperationQueue::operationCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->waiting.size() + impl_->running.size();
}

void OperationQueue::cancelAllOperations() {
  // Running ones too: their main() decides what cancellation means.
  std::vector<OperationPtr> all;
  {
    std::lock_guard lock(impl_->mutex);
    all.assign(impl_->waiting.begin(), impl_->waiting.end());
    for (const auto& [_, operation] : impl_->running) all.push_back(operation);
  }
  for (const auto& operation : all) operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() const {
  std::unique_lock lock(impl_->mutex);
  impl_->idle.wait(lock, [&] { return impl_->waiting.empty() && impl_->running.empty(); });
}

}  // namespace vozi::platform
