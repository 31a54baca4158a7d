#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DispatchQueue.h"

namespace vozi::platform {

class OperationQueue;

// A unit of work for an OperationQueue: subclasses override main(). An
// operation runs once. It is ready when every operation it depends on has
// finished (cancelled or not; a dependency that had already finished when
// it was added counts as met at once).
//
// Cancellation is cooperative: cancel() only sets isCancelled() (subclasses
// may override it to wake their work, calling the base first); main() tests
// it where it can stop. An operation cancelled before it starts never runs
// main(): it finishes at once when it becomes ready, so its dependents go on.
//
// The quality of service may be changed after the operation was queued,
// also while it runs; main() reads the current one with qualityOfService().
//
// Every method may be called from any thread.
//
//   auto op = BlockOperation::make([] { ... });
//   op->setName("scan");
//   op->addDependency(other);
//   queue.addOperation(op);
//   op->waitUntilFinished();
class Operation : public std::enable_shared_from_this<Operation> {
 public:
  Operation();
  virtual ~Operation();
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // The work; the base does nothing.
  virtual void main() {}
  // Sets isCancelled(). Override to add to it; call the base first.
  virtual void cancel();

  bool isCancelled() const;
  bool isExecuting() const;
  bool isFinished() const;
  // Every dependency has finished.
  bool isReady() const;

  std::string name() const;
  void setName(std::string name);

  // defaultQoS until set; the queue's own when the operation has none.
  QualityOfService qualityOfService() const;
  void setQualityOfService(QualityOfService qos);

  // Adding the same operation twice, or an operation to itself, changes
  // nothing. Both belong before the operation starts.
  void addDependency(const std::shared_ptr<Operation>& operation);
  void removeDependency(const std::shared_ptr<Operation>& operation);
  std::vector<std::shared_ptr<Operation>> dependencies() const;

  // Runs once, on the thread that ran the operation, after main() returned
  // (or without main() when cancelled before starting), just before the
  // operation counts as finished.
  void setCompletionBlock(std::function<void()> block);

  // Blocks until the operation has finished. Never call it from main().
  void waitUntilFinished() const;

  struct State;

 private:
  friend class OperationQueue;
  std::shared_ptr<State> state_;
};

using OperationPtr = std::shared_ptr<Operation>;

// An operation that runs its blocks, in the order added, on one thread.
class BlockOperation : public Operation {
 public:
  static std::shared_ptr<BlockOperation> make(std::function<void()> block);
  // Before the operation starts.
  void addExecutionBlock(std::function<void()> block);
  void main() override;

 private:
  mutable std::mutex mutex_;
  std::vector<std::function<void()>> blocks_;
};

}  // namespace vozi::platform
