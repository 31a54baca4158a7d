#include "platform/Operation.h"

#include <algorithm>

#include "platform/OperationState.h"

namespace vozi::platform {

Operation::Operation() : state_(std::make_shared<State>()) {}

Operation::~Operation() = default;

void Operation::cancel() {
  state_->cancelled.store(true);
  // A cancelled operation is ready at once: it finishes without main().
  state_->pokeQueue();
}

bool Operation::isCancelled() const { return state_->cancelled.load(); }
bool Operation::isExecuting() const { return state_->phase.load() == State::Phase::executing; }
bool Operation::isFinished() const { return state_->phase.load() == State::Phase::finished; }
bool Operation::isReady() const { return state_->dependenciesMet(); }

std::string Operation::name() const {
  std::lock_guard lock(state_->mutex);
  return state_->name;
}

void Operation::setName(std::string name) {
  std::lock_guard lock(state_->mutex);
  state_->name = std::move(name);
}

QualityOfService Operation::qualityOfService() const {
  if (state_->hasQualityOfService.load()) return state_->qualityOfService.load();
  return state_->queueQualityOfService();
}

void Operation::setQualityOfService(QualityOfService qos) {
  state_->qualityOfService.store(qos);
  state_->hasQualityOfService.store(true);
}

void Operation::addDependency(const std::shared_ptr<Operation>& operation) {
  if (!operation || operation.get() == this) return;
  {
    std::lock_guard lock(state_->mutex);
    const auto& held = state_->dependencies;
    if (std::find(held.begin(), held.end(), operation) != held.end()) return;
    state_->dependencies.push_back(operation);
  }
  // Told when the dependency finishes; if it already has, the poke below
  // sees it finished.
  operation->state_->addDependent(state_);
  state_->pokeQueue();
}

void Operation::removeDependency(const std::shared_ptr<Operation>& operation) {
  if (!operation) return;
  {
    std::lock_guard lock(state_->mutex);
    auto& held = state_->dependencies;
    const auto found = std::find(held.begin(), held.end(), operation);
    if (found == held.end()) return;
    held.erase(found);
  }
  operation->state_->removeDependent(state_);
  state_->pokeQueue();
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
  std::lock_guard lock(state_->mutex);
  return state_->dependencies;
}

void Operation::setCompletionBlock(std::function<void()> block) {
  std::lock_guard lock(state_->mutex);
  state_->completionBlock = std::move(block);
}

void Operation::waitUntilFinished() const {
  std::unique_lock lock(state_->mutex);
  state_->finishedChanged.wait(lock, [&] { return state_->phase.load() == State::Phase::finished; });
}

std::shared_ptr<BlockOperation> BlockOperation::make(std::function<void()> block) {
  auto operation = std::make_shared<BlockOperation>();
  operation->addExecutionBlock(std::move(block));
  return operation;
}

void BlockOperation::addExecutionBlock(std::function<void()> block) {
  if (!block) return;
  std::lock_guard lock(mutex_);
  blocks_.push_back(std::move(block));
}

void BlockOperation::main() {
  std::vector<std::function<void()>> blocks;
  {
    std::lock_guard lock(mutex_);
    blocks.swap(blocks_);
  }
  for (auto& block : blocks) block();
}

}  // namespace vozi::platform
