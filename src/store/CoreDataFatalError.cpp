#include "store/CoreDataFatalError.h"

#include <cstdio>
#include <cstdlib>

#include "common/Logger.h"
#include "common/MLog.h"

namespace vozi {

void coreDataFatalError(const std::string& message, const std::source_location& location) {
  const std::string text = "Fatal error: " + message;
  MLogFormatted(text, location);
  // The line must reach its sink before the process goes.
  Logger::loggingQueue()->sync([] {});
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace vozi
