#include "ipc/IZOLClientService.h"

#include "common/RecordArchive.h"
#include "ipc/XPCServices.h"

namespace vozi {

const platform::XPCInterfacePtr& clientServiceInterface() {
  static const platform::XPCInterfacePtr interface = [] {
    registerServiceRecordClasses();
    const platform::AllowedClasses& tree = RecordArchive::itemTreeClasses();
    return platform::XPCInterface::describe<IZOLClientService>("IZOLClientService")
        .method<&IZOLApplicationStateClient::handleAppStateUpdate>("handleAppStateUpdate:fromBackend:")
        .method<&IZOLLongOperationsClient::operationDidUpdateProgressTo>("operation:didUpdateProgressTo:")
        .method<&IZOLLongOperationsClient::operationDidFailWithError>("operation:didFailWithError:")
        .method<&IZOLLongOperationsClient::operationDidFinishScanningWithResults>(
            "operation:didFinishScanningWithResults:", {{}, tree})
        .method<&IZOLLongOperationsClient::operationDidFinishCleaningWithResults>(
            "operation:didFinishCleaningWithResults:", {{}, tree})
        .method<&IZOLPreferencesClient::handleRequestedPreferences>("handleRequestedPreferences:")
        .method<&IZOLTrackingDataClient::handleRequestedTrackingData>("handleRequestedTrackingData:")
        .build();
  }();
  return interface;
}

}  // namespace vozi
