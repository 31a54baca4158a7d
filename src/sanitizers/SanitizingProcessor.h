#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/ItemGroup.h"
#include "ipc/IUserAgentLink.h"
#include "platform/DispatchQueue.h"
#include "platform/OperationQueue.h"
#include "sanitizers/CleaningScope.h"
#include "sanitizers/IScanningConfigurator.h"
#include "sanitizers/SanitizerChoice.h"
#include "sanitizers/SanitizingProcessorAction.h"

namespace vozi {

// Runs every scan and clean: a request of groups becomes one operation per
// group (built and queued by the group's sanitizer) on one operation queue,
// and one completion operation that waits for all of them. Each request has
// its own identifier (a UUID text, returned at once) and its own progress:
// the operations' reports are summed into a fraction of the request, handed
// to its progress handler with the identifier. Each group comes back through
// the partial completion as its operation ends, on the operation's thread;
// the request's end comes through the completion, on the queue given at
// creation, with the identifier and whether it was cancelled.
//
//   SanitizingProcessor processor(dataSyncQueue);
//   auto id = processor.startScanning(groups, QualityOfService::userInitiated,
//       [](double fraction, const std::string& id) {...},
//       [](const ItemGroupPtr& group) {...},
//       [](const std::string& id, bool cancelled) {...});
//   processor.cancel(id, [](bool) {});
//
// Start and cancel may be called from any thread. Every callback is
// optional.
class SanitizingProcessor {
 public:
  using ActionType = SanitizingProcessorAction::ActionType;
  using ProgressHandler = std::function<void(double fraction, const std::string& operationId)>;
  using PartialCompletion = std::function<void(const ItemGroupPtr& group)>;
  using Completion = std::function<void(const std::string& operationId, bool cancelled)>;
  using ReplyBlock = std::function<void(bool)>;

  static constexpr int kMaxConcurrentOperations = 4;

  explicit SanitizingProcessor(std::shared_ptr<platform::DispatchQueue> operationsSyncQueue);
  ~SanitizingProcessor();
  SanitizingProcessor(const SanitizingProcessor&) = delete;
  SanitizingProcessor& operator=(const SanitizingProcessor&) = delete;

  // Held weakly; asked for every group of a scan before its sanitizer is
  // chosen.
  void setScanningConfigurator(std::weak_ptr<IScanningConfigurator> configurator);
  // Held weakly; asked for every group of a clean. Without it (or without
  // a scope for a group) a clean deletes nothing of that group.
  void setCleaningScopeSource(std::weak_ptr<ICleaningScopeSource> source);
  // Handed to every operation; null: no session user's folders.
  void setUserAgentLink(std::shared_ptr<IUserAgentLink> link);
  // Where the modules that own sanitizers register them, before the first
  // request.
  SanitizerChoice& sanitizerChoice() { return choice_; }

  // Background quality of service lets one operation run at a time (until a
  // scan of any other quality starts); any other lets four.
  std::string startScanning(const std::vector<ItemGroupPtr>& groups, platform::QualityOfService qos,
                            ProgressHandler progressHandler, PartialCompletion partialCompletion,
                            Completion completion);
  // Always at user-initiated quality of service, which the queue takes too.
  std::string startCleaning(const std::vector<ItemGroupPtr>& groups, ProgressHandler progressHandler,
                            PartialCompletion partialCompletion, Completion completion);
  // Cancels the request: its operations that have not started never run,
  // running ones stop early, and its completion comes with true. An unknown
  // identifier changes nothing. The reply is always true.
  void cancel(const std::string& operationId, ReplyBlock replyBlock);

  // The folders the scan of this group walks (ISanitizer::scanRoots), as
  // the group's sanitizer of a request made now would see them; none for a
  // group no sanitizer serves. May ask the agent link (bounded).
  std::vector<std::string> scanRoots(const ItemGroupPtr& group) const;

  const std::shared_ptr<platform::OperationQueue>& operationQueue() const { return operationQueue_; }
  // Requests started and not yet ended nor cancelled.
  std::size_t pendingRequestCount() const;

  struct Requests;

 private:
  using ActionPtr = std::shared_ptr<SanitizingProcessorAction>;

  std::shared_ptr<platform::BlockOperation> createSanitizingAction(ActionType type, ProgressHandler progressHandler,
                                                                   Completion completion, ActionPtr& action);
  // Builds and queues the groups' operations, then tells the request's
  // reporter how many were queued.
  void startSanitizing(const ActionPtr& action, const std::vector<ItemGroupPtr>& groups,
                       platform::QualityOfService qos, const PartialCompletion& partialCompletion);
  void add(const ActionPtr& action, const std::shared_ptr<platform::BlockOperation>& completionOperation);

  struct Settings {
    std::weak_ptr<IScanningConfigurator> scanningConfigurator;
    std::weak_ptr<ICleaningScopeSource> cleaningScopeSource;
    std::shared_ptr<IUserAgentLink> userAgentLink;
  };
  Settings settings() const;

  // Set from the owner's threads; each request takes a copy.
  mutable std::mutex settingsMutex_;
  Settings settings_;
  SanitizerChoice choice_;
  std::shared_ptr<Requests> requests_;
  // Last, so that it goes first: it waits for the running operations while
  // everything they reach is still there.
  std::shared_ptr<platform::OperationQueue> operationQueue_;
};

}  // namespace vozi
