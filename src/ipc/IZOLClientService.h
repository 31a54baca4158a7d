#pragma once

#include "ipc/IZOLApplicationStateClient.h"
#include "ipc/IZOLLongOperationsClient.h"
#include "ipc/IZOLPreferencesClient.h"
#include "ipc/IZOLTrackingDataClient.h"
#include "platform/services/XPCInterface.h"

namespace vozi {

// What the UI exports on its connection to kZOLServerServiceName; the
// daemon calls it through a proxy (XPCConnection::remoteObjectProxy).
class IZOLClientService : public virtual IZOLApplicationStateClient,
                          public virtual IZOLLongOperationsClient,
                          public virtual IZOLPreferencesClient,
                          public virtual IZOLTrackingDataClient {};

// Its description: the scan and clean results under the item tree set, the
// declared types' own rules elsewhere.
const platform::XPCInterfacePtr& clientServiceInterface();

}  // namespace vozi
