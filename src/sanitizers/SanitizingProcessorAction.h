#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/Operation.h"
#include "platform/OperationQueue.h"
#include "sanitizers/ProgressReporter.h"

namespace vozi {

// One scan or clean request of the sanitizing processor: its identifier,
// its kind, the group operations not yet seen to finish (keyed by the
// progress key each got before it was queued), the operation that ends the
// request once they have, and whether it was cancelled. It also carries the
// request's own progress reporter, so that requests never share one.
//
// The processor fills the operations before it registers the request;
// afterwards they are touched only on its private serial queue.
class SanitizingProcessorAction {
 public:
  enum class ActionType { scanning, cleaning };

  SanitizingProcessorAction(std::string id, ActionType type,
                            std::shared_ptr<platform::OperationQueue> completionOperationQueue);

  const std::string& id() const { return id_; }
  ActionType type() const { return type_; }
  const std::shared_ptr<platform::OperationQueue>& completionOperationQueue() const {
    return completionOperationQueue_;
  }
  const std::shared_ptr<ProgressReporter>& progressReporter() const { return progressReporter_; }

  // Held weakly: the operation's own body holds the request, and the queue
  // holds the operation until it has run. Set once, right after creation.
  void setCompletionOperation(const std::shared_ptr<platform::BlockOperation>& operation) {
    completionOperation_ = operation;
  }
  std::shared_ptr<platform::BlockOperation> completionOperation() const { return completionOperation_.lock(); }

  // Adds a group operation and makes the completion operation wait for it.
  void addOperation(const std::string& key, const platform::OperationPtr& operation);
  void removeOperation(const std::string& key) { operations_.erase(key); }
  std::size_t operationCount() const { return operations_.size(); }

  bool isCanceled() const { return isCanceled_.load(std::memory_order_acquire); }
  // Marks the request cancelled; for every operation still held, the
  // completion operation stops waiting for it and it is cancelled; the set
  // is emptied. The completion operation itself is left to run, so the
  // request still ends, with the cancelled flag set.
  void cancel();

 private:
  const std::string id_;
  const ActionType type_;
  std::unordered_map<std::string, platform::OperationPtr> operations_;
  std::weak_ptr<platform::BlockOperation> completionOperation_;
  const std::shared_ptr<platform::OperationQueue> completionOperationQueue_;
  std::shared_ptr<ProgressReporter> progressReporter_ = std::make_shared<ProgressReporter>();
  std::atomic<bool> isCanceled_{false};
};

}  // namespace vozi
