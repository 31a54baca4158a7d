#include "backend/StandInApplicationStateManager.h"

#include "platform/UUID.h"

namespace vozi {

namespace {

ZOLApplicationState madeHere() {
  return ZOLApplicationState(std::nullopt, ZOLMApplicationState(platform::UUID::randomString()));
}

}  // namespace

StandInApplicationStateManager::StandInApplicationStateManager(std::optional<ZOLApplicationState> applicationState,
                                                               std::optional<ZOLTrackingData> trackingData)
    : applicationState_(applicationState ? std::move(*applicationState) : madeHere()),
      trackingData_(trackingData.value_or(ZOLTrackingData{})) {}

ZOLApplicationState StandInApplicationStateManager::applicationState() const {
  std::lock_guard lock(mutex_);
  return applicationState_;
}

ZOLTrackingData StandInApplicationStateManager::trackingData() const {
  std::lock_guard lock(mutex_);
  return trackingData_;
}

void StandInApplicationStateManager::startStateTracking(std::weak_ptr<ZOLApplicationStateManagerDelegate> delegate,
                                                        platform::DispatchQueuePtr queue) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
  queue_ = std::move(queue);
}

void StandInApplicationStateManager::stopStateTracking() {
  std::lock_guard lock(mutex_);
  delegate_.reset();
  queue_.reset();
}

std::shared_ptr<Cancelable> StandInApplicationStateManager::setUserEmail(const std::string& userEmail,
                                                                         EmailCompletion completion) {
  {
    std::lock_guard lock(mutex_);
    applicationState_.setUserEmail(userEmail);
  }
  if (completion) completion(true, std::nullopt);
  return nullptr;
}

ZOLApplicationState StandInApplicationStateManager::updateState(const ZOLApplicationState& state, bool shouldNotify,
                                                                bool fromBackend) {
  {
    std::lock_guard lock(mutex_);
    applicationState_ = state;
  }
  if (shouldNotify) {
    tellDelegate([state, fromBackend](ZOLApplicationStateManagerDelegate& delegate, IZOLApplicationStateManager& manager) {
      delegate.managerDidChangeApplicationState(manager, state, fromBackend);
    });
  }
  return state;
}

void StandInApplicationStateManager::updateTrackingData(const ZOLTrackingData& trackingData) {
  {
    std::lock_guard lock(mutex_);
    trackingData_ = trackingData;
  }
  tellDelegate([trackingData](ZOLApplicationStateManagerDelegate& delegate, IZOLApplicationStateManager& manager) {
    delegate.managerDidChangeTrackingData(manager, trackingData);
  });
}

void StandInApplicationStateManager::tellDelegate(
    std::function<void(ZOLApplicationStateManagerDelegate&, IZOLApplicationStateManager&)> call) {
  std::weak_ptr<ZOLApplicationStateManagerDelegate> delegate;
  platform::DispatchQueuePtr queue;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_;
    queue = queue_;
  }
  if (!queue) return;
  queue->async([self = weak_from_this(), delegate, call = std::move(call)] {
    const auto manager = self.lock();
    const auto listener = delegate.lock();
    if (manager && listener) call(*listener, *manager);
  });
}

}  // namespace vozi
