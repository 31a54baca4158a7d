#include "ipc/IZOLServerService.h"

#include "common/RecordArchive.h"
#include "ipc/XPCServices.h"

namespace vozi {

const platform::XPCInterfacePtr& serverServiceInterface() {
  static const platform::XPCInterfacePtr interface = [] {
    registerServiceRecordClasses();
    // The item-group trees, with the plain values they hold.
    std::vector<std::string> treeNames{"NSString"};
    for (const std::string& name : RecordArchive::itemTreeClasses().names()) treeNames.push_back(name);
    treeNames.insert(treeNames.begin() + 6, {"NSArray"});
    treeNames.push_back("NSNumber");
    const platform::AllowedClasses tree(std::move(treeNames));
    const platform::AllowedClasses strings{"NSString"};
    auto builder = platform::XPCInterface::describe<IZOLServerService>("IZOLServerService");
    builder.method<&IZOLDataServer::sendWithUserData>("sendWithUserData:", {{ZOLMUserData::kClassName}});
    describeEventServerMethods(builder);
    builder.method<&IZOLLongOperationsServer::startScanOperation>("startScanOperation:replyBlock:", {tree}, {strings})
        .method<&IZOLLongOperationsServer::startCleanOperation>("startCleanOperation:replyBlock:", {tree}, {strings})
        .method<&IZOLLongOperationsServer::cancelWithOperationID>("cancelWithOperationID:replyBlock:", {strings})
        .method<&IZOLLongOperationsServer::requestScannedData>("requestScannedData:replyBlock:", {}, {tree})
        .method<&IZOLApplicationStateServer::requestApplicationStateWithCompletionHandler>(
            "requestApplicationStateWithCompletionHandler:")
        .method<&IZOLMainApplicationStateServer::updateApplicationState>("updateApplicationState:",
                                                                         {{ZOLMApplicationState::kClassName}})
        .method<&IZOLPreferencesServer::requestPreferences>("requestPreferences")
        .method<&IZOLPreferencesServer::updateWith>("updateWith:",
                                                    {{ZOLMPreferences::kClassName, "NSArray", "NSString", "NSNumber"}})
        .method<&IZOLTrackingDataServer::requestTrackingDataWithCompletionHandler>(
            "requestTrackingDataWithCompletionHandler:");
    return builder.build();
  }();
  return interface;
}

}  // namespace vozi
