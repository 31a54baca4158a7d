#pragma once

#include <source_location>
#include <string_view>

namespace vozi::platform {

// The one way the process stops on a fault it cannot go on from (a broken
// invariant, a store beyond repair). fatalStop writes the message to
// standard error, hands it to the hook when one is set, and aborts. The
// logging layer sets the hook when it starts, so the message also reaches
// the daemon's log and is written out before the process goes; a program
// without that layer still gets the message on standard error.
//
// Any thread may call fatalStop. Hooks run one at a time (a second thread
// stopping meanwhile waits for the first, which aborts); a stop raised from
// inside the hook skips it. The hook must not wait without bound.
using FatalHook = void (*)(std::string_view message, const std::source_location& location);

[[noreturn]] void fatalStop(std::string_view message,
                            const std::source_location& location = std::source_location::current());

// Sets the hook (nullptr takes it away). Called by the logging layer at its
// start; any thread.
void setFatalHook(FatalHook hook);

}  // namespace vozi::platform
