#include "ipc/GAEventRecord.h"

#include "platform/ArchiveClassRegistry.h"

namespace vozi {

void GAEventRecord::registerInterface() { platform::ArchiveClassRegistry::shared().registerInterface<GAEventRecord>(); }

}  // namespace vozi
