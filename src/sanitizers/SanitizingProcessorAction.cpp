#include "sanitizers/SanitizingProcessorAction.h"

namespace vozi {

SanitizingProcessorAction::SanitizingProcessorAction(std::string id, ActionType type,
                                                     std::shared_ptr<platform::OperationQueue> completionOperationQueue)
    : id_(std::move(id)), type_(type), completionOperationQueue_(std::move(completionOperationQueue)) {}

void SanitizingProcessorAction::addOperation(const std::string& key, const platform::OperationPtr& operation) {
  operations_[key] = operation;
  if (auto completion = completionOperation()) completion->addDependency(operation);
}

void SanitizingProcessorAction::cancel() {
  isCanceled_.store(true, std::memory_order_release);
  const auto completion = completionOperation();
  for (const auto& [key, operation] : operations_) {
    if (completion) completion->removeDependency(operation);
    operation->cancel();
  }
  operations_.clear();
}

}  // namespace vozi
