#pragma once

#include <source_location>
#include <string>

namespace vozi {

// The stop of the persistence layer: a store that cannot be opened, read or
// written leaves the daemon nothing sound to do. Stops the process through
// platform::fatalStop with "Fatal error: " and the message: on standard
// error, and in the log (written out before the abort) naming the caller.
[[noreturn]] void coreDataFatalError(const std::string& message,
                                     const std::source_location& location = std::source_location::current());

}  // namespace vozi
