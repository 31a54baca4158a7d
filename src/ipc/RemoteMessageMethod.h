#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "common/RawValue.h"

namespace vozi {

// The operations named by the "method" entry of every message on the daemon's
// socket. The UI application uses the same strings: the raw value of each
// case is its name and never changes.
enum class RemoteMessageMethod {
  reportEvent,
  getPreferences,
  updatePreferences,
  preferences,
  getTrackingData,
  trackingData,
  backgroundScan,
  getBackgroundScanResults,
  userLanguages,
  userEmail,
  backgroundScanResults,
  getCleaningHistory,
  cleaningHistory,
  scan,
  cancelScan,
  scanResults,
  purge,
  cancelPurge,
  purgeResults,
  quit,
  shutdown,
};

// Every case, in declaration order.
inline constexpr std::array<RemoteMessageMethod, 21> kAllRemoteMessageMethods = {
    RemoteMessageMethod::reportEvent,
    RemoteMessageMethod::getPreferences,
    RemoteMessageMethod::updatePreferences,
    RemoteMessageMethod::preferences,
    RemoteMessageMethod::getTrackingData,
    RemoteMessageMethod::trackingData,
    RemoteMessageMethod::backgroundScan,
    RemoteMessageMethod::getBackgroundScanResults,
    RemoteMessageMethod::userLanguages,
    RemoteMessageMethod::userEmail,
    RemoteMessageMethod::backgroundScanResults,
    RemoteMessageMethod::getCleaningHistory,
    RemoteMessageMethod::cleaningHistory,
    RemoteMessageMethod::scan,
    RemoteMessageMethod::cancelScan,
    RemoteMessageMethod::scanResults,
    RemoteMessageMethod::purge,
    RemoteMessageMethod::cancelPurge,
    RemoteMessageMethod::purgeResults,
    RemoteMessageMethod::quit,
    RemoteMessageMethod::shutdown,
};

std::string_view rawValue(RemoteMessageMethod method);

// Exact, case-sensitive match of the whole string.
template <>
std::optional<RemoteMessageMethod> fromRawValue<RemoteMessageMethod>(std::string_view raw);

}  // namespace vozi
