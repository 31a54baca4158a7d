#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/DispatchQueue.h"
#include "platform/Operation.h"

namespace vozi::platform {

// Runs operations on threads of its own, at most
// maxConcurrentOperationCount() at a time (kDefaultMaxConcurrentOperationCount:
// as many as the machine has cores), the ready ones in the order they were
// added. The limit may change at any time: lowering it lets running
// operations finish and starts nothing new until fewer run; raising it starts
// waiting ones at once.
//
// An operation belongs to one queue and is added once. The queue keeps it
// until it has finished; its dependencies may belong to any queue.
//
// The queue's own quality of service applies to operations that have none.
//
// Destruction cancels every operation that has not started (they finish
// without running main(), as cancelled operations do) and waits for the
// running ones to return. Every method may be called from any thread, also
// from inside a running operation (but waitUntilAllOperationsAreFinished,
// which would wait for itself).
class OperationQueue {
 public:
  static constexpr int kDefaultMaxConcurrentOperationCount = -1;

  explicit OperationQueue(std::string name = {});
  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  std::string name() const;
  void setName(std::string name);

  int maxConcurrentOperationCount() const;
  void setMaxConcurrentOperationCount(int count);

  // A suspended queue starts nothing (running operations go on); clearing
  // the flag starts what waits.
  bool isSuspended() const;
  void setSuspended(bool suspended);

  QualityOfService qualityOfService() const;
  void setQualityOfService(QualityOfService qos);

  void addOperation(const OperationPtr& operation);
  // A BlockOperation of `block`.
  void addOperation(std::function<void()> block);

  // The operations added and not finished yet.
  std::size_t operationCount() const;
  // cancel() on every operation not finished yet.
  void cancelAllOperations();
  // Returns once nothing waits or runs; operations that running ones add
  // before they finish are waited for too.
  void waitUntilAllOperationsAreFinished() const;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace vozi::platform
