#include "ipc/RemoteMessageMethod.h"

namespace vozi {

std::string_view rawValue(RemoteMessageMethod method) {
  switch (method) {
    case RemoteMessageMethod::reportEvent: return "reportEvent";
    case RemoteMessageMethod::getPreferences: return "getPreferences";
    case RemoteMessageMethod::updatePreferences: return "updatePreferences";
    case RemoteMessageMethod::preferences: return "preferences";
    case RemoteMessageMethod::getTrackingData: return "getTrackingData";
    case RemoteMessageMethod::trackingData: return "trackingData";
    case RemoteMessageMethod::backgroundScan: return "backgroundScan";
    case RemoteMessageMethod::getBackgroundScanResults: return "getBackgroundScanResults";
    case RemoteMessageMethod::userLanguages: return "userLanguages";
    case RemoteMessageMethod::userEmail: return "userEmail";
    case RemoteMessageMethod::backgroundScanResults: return "backgroundScanResults";
    case RemoteMessageMethod::getCleaningHistory: return "getCleaningHistory";
    case RemoteMessageMethod::cleaningHistory: return "cleaningHistory";
    case RemoteMessageMethod::scan: return "scan";
    case RemoteMessageMethod::cancelScan: return "cancelScan";
    case RemoteMessageMethod::scanResults: return "scanResults";
    case RemoteMessageMethod::purge: return "purge";
    case RemoteMessageMethod::cancelPurge: return "cancelPurge";
    case RemoteMessageMethod::purgeResults: return "purgeResults";
    case RemoteMessageMethod::quit: return "quit";
    case RemoteMessageMethod::shutdown: return "shutdown";
  }
  return {};
}

template <>
std::optional<RemoteMessageMethod> fromRawValue<RemoteMessageMethod>(std::string_view raw) {
  return caseWithRawValue(kAllRemoteMessageMethods, raw);
}

}  // namespace vozi
