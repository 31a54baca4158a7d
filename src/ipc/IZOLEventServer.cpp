#include "ipc/IZOLEventServer.h"

namespace vozi {

const platform::XPCInterfacePtr& eventServerInterface() {
  static const platform::XPCInterfacePtr interface = [] {
    registerServiceRecordClasses();
    auto builder = platform::XPCInterface::describe<IZOLEventServer>("IZOLEventServer");
    return describeEventServerMethods(builder).build();
  }();
  return interface;
}

}  // namespace vozi
