#include "sanitizers/SanitizingProcessor.h"

#include <unordered_map>

#include "common/MLog.h"
#include "platform/UUID.h"

namespace vozi {

// What outlives a call: the registered requests, the serial queue that
// guards them, and the queue of the final completions. Closures on the
// operations hold it weakly, so that a request left running never keeps a
// gone processor's table alive.
struct SanitizingProcessor::Requests {
  std::shared_ptr<platform::DispatchQueue> operationsHandlingSyncQueue =
      platform::DispatchQueue::serial("daz.ir.SanitizingProcessor.operationsHandlingSyncQueue");
  std::shared_ptr<platform::DispatchQueue> operationsSyncQueue;
  std::unordered_map<std::string, ActionPtr> actions;
};

namespace {

std::string groupsText(const std::vector<ItemGroupPtr>& groups) {
  std::string text = "[";
  for (std::size_t index = 0; index < groups.size(); ++index) {
    if (index > 0) text += ", ";
    text += groups[index] ? groups[index]->description() : "nil";
  }
  return text + "]";
}

}  // namespace

SanitizingProcessor::SanitizingProcessor(std::shared_ptr<platform::DispatchQueue> operationsSyncQueue)
    : requests_(std::make_shared<Requests>()), operationQueue_(std::make_shared<platform::OperationQueue>()) {
  operationQueue_->setMaxConcurrentOperationCount(kMaxConcurrentOperations);
  requests_->operationsSyncQueue = std::move(operationsSyncQueue);
}

SanitizingProcessor::~SanitizingProcessor() = default;

void SanitizingProcessor::setScanningConfigurator(std::weak_ptr<IScanningConfigurator> configurator) {
  std::lock_guard lock(settingsMutex_);
  settings_.scanningConfigurator = std::move(configurator);
}

void SanitizingProcessor::setCleaningScopeSource(std::weak_ptr<ICleaningScopeSource> source) {
  std::lock_guard lock(settingsMutex_);
  settings_.cleaningScopeSource = std::move(source);
}

void SanitizingProcessor::setUserAgentLink(std::shared_ptr<IUserAgentLink> link) {
  std::lock_guard lock(settingsMutex_);
  settings_.userAgentLink = std::move(link);
}

SanitizingProcessor::Settings SanitizingProcessor::settings() const {
  std::lock_guard lock(settingsMutex_);
  return settings_;
}

std::string SanitizingProcessor::startScanning(const std::vector<ItemGroupPtr>& groups, platform::QualityOfService qos,
                                               ProgressHandler progressHandler, PartialCompletion partialCompletion,
                                               Completion completion) {
  ActionPtr action;
  auto completionOperation =
      createSanitizingAction(ActionType::scanning, std::move(progressHandler), std::move(completion), action);
  const bool background = qos == platform::QualityOfService::background;
  MLog(std::string(background ? "started background scan for groups: " : "started user initiated scan for groups: ") +
       groupsText(groups) + ", id: " + action->id());
  operationQueue_->setMaxConcurrentOperationCount(background ? 1 : kMaxConcurrentOperations);
  startSanitizing(action, groups, qos, partialCompletion);
  add(action, completionOperation);
  return action->id();
}

std::string SanitizingProcessor::startCleaning(const std::vector<ItemGroupPtr>& groups,
                                               ProgressHandler progressHandler, PartialCompletion partialCompletion,
                                               Completion completion) {
  operationQueue_->setQualityOfService(platform::QualityOfService::userInitiated);
  ActionPtr action;
  auto completionOperation =
      createSanitizingAction(ActionType::cleaning, std::move(progressHandler), std::move(completion), action);
  MLog("started cleaning groups: " + groupsText(groups) + ", id: " + action->id());
  startSanitizing(action, groups, platform::QualityOfService::userInitiated, partialCompletion);
  add(action, completionOperation);
  return action->id();
}

std::shared_ptr<platform::BlockOperation> SanitizingProcessor::createSanitizingAction(ActionType type,
                                                                                      ProgressHandler progressHandler,
                                                                                      Completion completion,
                                                                                      ActionPtr& action) {
  action = std::make_shared<SanitizingProcessorAction>(platform::UUID::randomString(), type, operationQueue_);
  // The request's own reporter reports nothing until the number of queued
  // operations is known; reports that come earlier are kept.
  const auto& reporter = action->progressReporter();
  reporter->setNumberOfOperations(-1);
  if (progressHandler) {
    reporter->setProgressReportHandler(
        [progressHandler = std::move(progressHandler), id = action->id()](double fraction) {
          progressHandler(fraction, id);
        });
  }

  // The body holds the request; the request holds its completion operation
  // weakly, so the two never keep each other alive.
  auto completionOperation = platform::BlockOperation::make(
      [weakRequests = std::weak_ptr<Requests>(requests_), action, completion = std::move(completion)] {
        // No progress of this request can follow its end.
        action->progressReporter()->reset();
        const auto requests = weakRequests.lock();
        if (!requests) return;
        requests->operationsSyncQueue->async([weakRequests, action, completion] {
          const bool cancelled = action->isCanceled();
          MLog("operation with id: " + action->id() + " " + (cancelled ? "cancelled" : "finished") + " | " +
               (action->type() == ActionType::cleaning ? "cleaning" : "scanning"));
          if (completion) completion(action->id(), cancelled);
          if (const auto requests = weakRequests.lock()) {
            requests->operationsHandlingSyncQueue->sync([&] {
              const auto found = requests->actions.find(action->id());
              if (found != requests->actions.end() && found->second == action) requests->actions.erase(found);
            });
          }
        });
      });
  action->setCompletionOperation(completionOperation);
  return completionOperation;
}

std::vector<std::string> SanitizingProcessor::scanRoots(const ItemGroupPtr& group) const {
  if (!group) return {};
  const Settings current = settings();
  const auto sanitizer = choice_.sanitizer(group, SanitizerEnvironment{operationQueue_, current.userAgentLink, nullptr});
  return sanitizer ? sanitizer->scanRoots() : std::vector<std::string>{};
}

void SanitizingProcessor::startSanitizing(const ActionPtr& action, const std::vector<ItemGroupPtr>& groups,
                                                 platform::QualityOfService qos,
                                                 const PartialCompletion& partialCompletion) {
  const Settings current = settings();
  const bool scanning = action->type() == ActionType::scanning;
  const bool reportsProgress = static_cast<bool>(action->progressReporter()->progressReportHandler());
  std::size_t queued = 0;
  for (std::size_t index = 0; index < groups.size(); ++index) {
    const ItemGroupPtr& group = groups[index];
    if (!group) continue;
    if (scanning) {
      if (const auto configurator = current.scanningConfigurator.lock()) {
        configurator->sanitizingProcessor(*this, *group);
      }
    }
    SanitizerEnvironment environment{operationQueue_, current.userAgentLink, nullptr};
    if (!scanning) {
      if (const auto source = current.cleaningScopeSource.lock()) environment.cleaningScope = source->cleaningScope(group);
    }
    const auto sanitizer = choice_.sanitizer(group, environment);
    if (!sanitizer) continue;

    // The key is fixed before the operation is queued, so that none of its
    // reports can arrive before the reporter can tell whose they are.
    const std::string key = std::to_string(index);
    SanitizerCompletion groupCompletion = [partialCompletion, weakRequests = std::weak_ptr<Requests>(requests_),
                                           id = action->id(), key](const ItemGroupPtr& result, bool) {
      if (partialCompletion) partialCompletion(result);
      const auto requests = weakRequests.lock();
      if (!requests) return;
      requests->operationsHandlingSyncQueue->sync([&] {
        const auto found = requests->actions.find(id);
        if (found != requests->actions.end()) found->second->removeOperation(key);
      });
    };
    SanitizerProgressHandler groupProgress;
    if (reportsProgress) {
      groupProgress = [reporter = action->progressReporter(), key](std::uint64_t progress, std::uint64_t duration) {
        reporter->registerUpdate(key, progress, duration);
      };
    }
    const platform::OperationPtr operation =
        scanning ? sanitizer->scan(std::move(groupCompletion), std::move(groupProgress))
                 : sanitizer->clean(std::move(groupCompletion), std::move(groupProgress));
    if (!operation) continue;
    operation->setQualityOfService(qos);
    action->addOperation(key, operation);
    ++queued;
  }
  action->progressReporter()->setNumberOfOperations(static_cast<std::int64_t>(queued));
}

void SanitizingProcessor::add(const ActionPtr& action,
                              const std::shared_ptr<platform::BlockOperation>& completionOperation) {
  // Registered first: a request whose operations all ended already could
  // otherwise deliver its end, and leave its table entry, before the entry
  // existed.
  requests_->operationsHandlingSyncQueue->sync([&] { requests_->actions[action->id()] = action; });
  action->completionOperationQueue()->addOperation(completionOperation);
}

void SanitizingProcessor::cancel(const std::string& operationId, ReplyBlock replyBlock) {
  ActionPtr cancelled;
  requests_->operationsHandlingSyncQueue->sync([&] {
    MLog("cancelling operatoinID:" + operationId);
    const auto found = requests_->actions.find(operationId);
    if (found != requests_->actions.end()) {
      cancelled = found->second;
      cancelled->cancel();
      requests_->actions.erase(found);
    }
  });
  // Only the cancelled request's progress ends; others keep reporting.
  if (cancelled) cancelled->progressReporter()->reset();
  if (replyBlock) replyBlock(true);
}

std::size_t SanitizingProcessor::pendingRequestCount() const {
  return requests_->operationsHandlingSyncQueue->syncResult([&] { return requests_->actions.size(); });
}

}  // namespace vozi
