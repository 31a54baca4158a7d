#pragma once

#include <string>

namespace vozi {

// The timing values of the background services that a debug-settings
// provider may override, with the values used without one.
class DebugSettings {
 public:
  static constexpr const char* kBackgroundScanInitiatorDomain = "backgroundScanInitiator";
  static constexpr const char* kBackgroundScanTimerIntervalKey = "backgroundScanTimerInterval";
  static constexpr double kBackgroundScanTimerInterval = 36000;  // 10 hours

  static constexpr const char* kNotificationCenterDomain = "notificationCenter";
  static constexpr const char* kFullModeBackgroundScanNotificationsIntervalKey =
      "FullModeBackgroundScanNotificationsInterval";
  static constexpr double kFullModeBackgroundScanNotificationsInterval = 604800;  // 7 days
  static constexpr const char* kDefaultToleranceIntervalKey = "DefaultToleranceInterval";
  static constexpr double kDefaultToleranceInterval = 3600;  // 1 hour

  // Seconds from the installed provider's domain and key when it gives a
  // number (integer or real); `builtIn` when no provider is installed, the
  // domain or key is missing, or the value is of another type.
  static double seconds(const std::string& domain, const std::string& key, double builtIn);

  static double backgroundScanTimerInterval();
  static double fullModeBackgroundScanNotificationsInterval();
  static double defaultToleranceInterval();
};

}  // namespace vozi
