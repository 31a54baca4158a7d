#pragma once

#include <memory>

#include "common/ItemGroup.h"
#include "platform/UUID.h"
#include "sanitizers/BaseSanitizerOperation.h"
#include "sanitizers/ISanitizer.h"
#include "sanitizers/SanitizerCleaningOperation.h"
#include "sanitizers/SanitizerEnvironment.h"

namespace vozi {

// The sanitizer of one group of one request: asks its class for the
// group's scan or clean operation (scanOperation / cleanOperation, none in
// the base), names it with a fresh UUID, and queues it on the environment's
// operation queue. The completion the operation calls first brings the
// group's scanning (or cleaning) history up to date, cancelled or not, then
// calls the caller's completion on the operation's thread. The operation
// holds the group and the caller's handlers, not the sanitizer, which may
// go before the operation ends.
//
// scan and clean are called on the thread that builds the request.
template <typename Group>
class BaseSanitizer : public ISanitizer {
 public:
  using GroupPtr = std::shared_ptr<Group>;
  using Operation = BaseSanitizerOperation<Group>;
  using CleaningOperation = SanitizerCleaningOperation<Group>;

  BaseSanitizer(GroupPtr group, SanitizerEnvironment environment)
      : itemGroup_(std::move(group)), environment_(std::move(environment)) {}

  // A sanitizer of class S for a group of S's class (or of a subclass of
  // it); null for any other group. The processor's factories are made of it.
  template <typename S>
  static std::unique_ptr<ISanitizer> make(const ItemGroupPtr& group, const SanitizerEnvironment& environment) {
    auto typed = std::dynamic_pointer_cast<typename S::GroupType>(group);
    if (!typed) return nullptr;
    return std::make_unique<S>(std::move(typed), environment);
  }
  using GroupType = Group;

  const GroupPtr& itemGroup() const { return itemGroup_; }
  const SanitizerEnvironment& environment() const { return environment_; }

  platform::OperationPtr scan(SanitizerCompletion completion, SanitizerProgressHandler progressHandler) override {
    return run(scanOperation(itemGroup_, wrap(std::move(completion), &ItemGroup::updateScanningHistory),
                             std::move(progressHandler)));
  }
  platform::OperationPtr clean(SanitizerCompletion completion, SanitizerProgressHandler progressHandler) override {
    return run(cleanOperation(itemGroup_, wrap(std::move(completion), &ItemGroup::updateCleaningHistory),
                              std::move(progressHandler)));
  }
  // Asks a scan operation made for the purpose, never queued.
  std::vector<std::string> scanRoots() override {
    const auto operation = scanOperation(itemGroup_, {}, {});
    return operation ? operation->scanningRoots() : std::vector<std::string>{};
  }

 protected:
  virtual std::shared_ptr<Operation> scanOperation(const GroupPtr&, typename Operation::Completion,
                                                   typename Operation::ProgressHandler) {
    return nullptr;
  }
  virtual std::shared_ptr<CleaningOperation> cleanOperation(const GroupPtr&, typename Operation::Completion,
                                                            typename Operation::ProgressHandler) {
    return nullptr;
  }

 private:
  typename Operation::Completion wrap(SanitizerCompletion completion, void (ItemGroup::*updateHistory)()) const {
    return [group = itemGroup_, completion = std::move(completion), updateHistory](const GroupPtr& result,
                                                                                  bool cancelled) {
      ((*group).*updateHistory)();
      if (completion) completion(result, cancelled);
    };
  }

  platform::OperationPtr run(platform::OperationPtr operation) const {
    if (!operation) return nullptr;
    operation->setName(platform::UUID::randomString());
    environment_.operationQueue->addOperation(operation);
    return operation;
  }

  GroupPtr itemGroup_;
  SanitizerEnvironment environment_;
};

}  // namespace vozi
