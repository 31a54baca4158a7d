#pragma once

#include "ipc/IZOLDataServer.h"
#include "ipc/IZOLEventServer.h"
#include "ipc/IZOLLongOperationsServer.h"
#include "ipc/IZOLMainApplicationStateServer.h"
#include "ipc/IZOLPreferencesServer.h"
#include "ipc/IZOLTrackingDataServer.h"
#include "platform/services/XPCInterface.h"

namespace vozi {

// What the daemon exports to the UI on kZOLServerServiceName: the six
// protocols together, nothing of its own. Every method is called on the
// connection's queue, in the order the UI sent them.
class IZOLServerService : public virtual IZOLDataServer,
                          public virtual IZOLEventServer,
                          public virtual IZOLLongOperationsServer,
                          public virtual IZOLMainApplicationStateServer,
                          public virtual IZOLPreferencesServer,
                          public virtual IZOLTrackingDataServer {};

// Its description, with the class list of each argument and reply:
//   updateWith:                            ZOLMPreferences, NSArray, NSString, NSNumber
//   startScanOperation: / startCleanOperation:   the item tree set with NSString,
//                                          NSArray and NSNumber; reply NSString
//   cancelWithOperationID:                 NSString
//   requestScannedData:                    reply: the item tree set
//   sendWithUserData:                      ZOLMUserData
//   sendWithUserEvent: / sendWithCleanEvent:     ZOLMEvent
//   updateApplicationState:                ZOLMApplicationState
// and the declared types' own rules elsewhere.
const platform::XPCInterfacePtr& serverServiceInterface();

}  // namespace vozi
