#pragma once

#include <source_location>
#include <string>

namespace vozi {

// The stop of the persistence layer: a store that cannot be opened, read or
// written leaves the daemon nothing sound to do. Logs "Fatal error: " and
// the message (waiting until the line is written), repeats it on standard
// error and aborts the process.
[[noreturn]] void coreDataFatalError(const std::string& message,
                                     const std::source_location& location = std::source_location::current());

}  // namespace vozi
