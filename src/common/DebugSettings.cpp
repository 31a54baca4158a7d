#include "common/DebugSettings.h"

#include "common/DebugSettingsProvider.h"

namespace vozi {

double DebugSettings::seconds(const std::string& domain, const std::string& key, double builtIn) {
  const auto provider = DebugSettingsProvider::defaultProvider();
  if (!provider) return builtIn;
  const auto settings = provider->settingsForDomain(domain);
  if (!settings) return builtIn;
  const auto found = settings->find(key);
  if (found == settings->end()) return builtIn;
  return found->second.asDouble().value_or(builtIn);
}

double DebugSettings::backgroundScanTimerInterval() {
  return seconds(kBackgroundScanInitiatorDomain, kBackgroundScanTimerIntervalKey, kBackgroundScanTimerInterval);
}

double DebugSettings::fullModeBackgroundScanNotificationsInterval() {
  return seconds(kNotificationCenterDomain, kFullModeBackgroundScanNotificationsIntervalKey,
                 kFullModeBackgroundScanNotificationsInterval);
}

double DebugSettings::defaultToleranceInterval() {
  return seconds(kNotificationCenterDomain, kDefaultToleranceIntervalKey, kDefaultToleranceInterval);
}

}  // namespace vozi
