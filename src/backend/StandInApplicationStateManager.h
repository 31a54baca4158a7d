#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "backend/IZOLApplicationStateManager.h"

namespace vozi {

// The application-state manager while the daemon has no backend: it keeps
// the state and the attribution it was made with, reports state changes to
// its delegate, and sends nothing anywhere. A missing state becomes a new
// one whose user identifier is made here (a UUID). Made with
// std::make_shared: the delegate calls hold it weakly.
class StandInApplicationStateManager : public IZOLApplicationStateManager,
                                       public std::enable_shared_from_this<StandInApplicationStateManager> {
 public:
  StandInApplicationStateManager(std::optional<ZOLApplicationState> applicationState,
                                 std::optional<ZOLTrackingData> trackingData);

  ZOLApplicationState applicationState() const override;
  ZOLTrackingData trackingData() const override;
  void startStateTracking(std::weak_ptr<ZOLApplicationStateManagerDelegate> delegate,
                          platform::DispatchQueuePtr queue) override;
  void stopStateTracking() override;
  // Keeps the address with the state; the completion hears success.
  std::shared_ptr<Cancelable> setUserEmail(const std::string& userEmail, EmailCompletion completion) override;
  ZOLApplicationState updateState(const ZOLApplicationState& state, bool shouldNotify, bool fromBackend) override;

  // Takes new attribution, as retrieval from the backend would, and tells
  // the delegate (tests and tools).
  void updateTrackingData(const ZOLTrackingData& trackingData);

 private:
  // Queues the call on the delegate's queue, while tracking goes on.
  void tellDelegate(std::function<void(ZOLApplicationStateManagerDelegate&, IZOLApplicationStateManager&)> call);

  mutable std::mutex mutex_;
  ZOLApplicationState applicationState_;
  ZOLTrackingData trackingData_;
  std::weak_ptr<ZOLApplicationStateManagerDelegate> delegate_;
  platform::DispatchQueuePtr queue_;
};

}  // namespace vozi
