#include "store/CoreDataFatalError.h"

#include "platform/Fatal.h"

namespace vozi {

void coreDataFatalError(const std::string& message, const std::source_location& location) {
  platform::fatalStop("Fatal error: " + message, location);
}

}  // namespace vozi
