#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/Cancelable.h"
#include "common/ZOLApplicationState.h"
#include "common/ZOLTrackingData.h"
#include "platform/DispatchQueue.h"
#include "platform/Error.h"

namespace vozi {

class IZOLApplicationStateManager;

// Hears of changes of the installation's state and attribution, on the
// queue given to startStateTracking.
class ZOLApplicationStateManagerDelegate {
 public:
  virtual ~ZOLApplicationStateManagerDelegate() = default;
  virtual void managerDidChangeApplicationState(IZOLApplicationStateManager& manager,
                                                const ZOLApplicationState& applicationState, bool fromBackend) = 0;
  virtual void managerDidChangeTrackingData(IZOLApplicationStateManager& manager,
                                            const ZOLTrackingData& trackingData) = 0;
};

// The installation's identity towards the backend and its campaign
// attribution. The server owns one, made at start-up from what the store
// holds (a new state with its defaults when it holds none). Every method may
// be called from any thread; the values come back as copies.
class IZOLApplicationStateManager {
 public:
  using EmailCompletion = std::function<void(bool success, const std::optional<platform::Error>& error)>;

  virtual ~IZOLApplicationStateManager() = default;

  virtual ZOLApplicationState applicationState() const = 0;
  virtual ZOLTrackingData trackingData() const = 0;

  // The delegate is held weakly and called on `queue`.
  virtual void startStateTracking(std::weak_ptr<ZOLApplicationStateManagerDelegate> delegate,
                                  platform::DispatchQueuePtr queue) = 0;
  // Stops tracking and its scheduled work; the delegate hears nothing more.
  virtual void stopStateTracking() = 0;
  // Hands the user's e-mail address to the backend; the completion, when
  // given, hears the outcome. The handle stops a send still pending.
  virtual std::shared_ptr<Cancelable> setUserEmail(const std::string& userEmail, EmailCompletion completion) = 0;
  // Makes `state` the current state and, when asked, tells the delegate.
  virtual ZOLApplicationState updateState(const ZOLApplicationState& state, bool shouldNotify, bool fromBackend) = 0;
};

}  // namespace vozi
