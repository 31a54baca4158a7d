#include "ipc/XPCServices.h"

#include "common/RecordArchive.h"
#include "common/ZOLMEvent.h"
#include "ipc/GAEventRecord.h"
#include "ipc/NotificationArchive.h"

namespace vozi {

void registerServiceRecordClasses() {
  RecordArchive::registerClasses();
  NotificationArchive::registerClasses();
  GAEventRecord::registerInterface();
}

const platform::AllowedClasses& eventClasses() {
  static const platform::AllowedClasses classes{ZOLMEvent::kClassName};
  return classes;
}

}  // namespace vozi
