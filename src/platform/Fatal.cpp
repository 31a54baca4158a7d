#include "platform/Fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace vozi::platform {

namespace {

// Constant-initialised, so a hook set by another file's static initialiser
// is never overwritten by this one's.
constinit std::atomic<FatalHook> gHook{nullptr};
// One hook at a time: a second thread that stops meanwhile waits, so the
// first one's message is written whole before anyone aborts.
constinit std::mutex gHookMutex;
// Set while this thread runs the hook: a stop raised from inside it goes
// straight to the abort.
constinit thread_local bool tInHook = false;

}  // namespace

void setFatalHook(FatalHook hook) { gHook.store(hook); }

void fatalStop(std::string_view message, const std::source_location& location) {
  // Standard error first: it needs nothing else of the process to work.
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  if (FatalHook hook = gHook.load(); hook && !tInHook) {
    std::lock_guard lock(gHookMutex);
    tInHook = true;
    hook(message, location);
  }
  std::abort();
}

}  // namespace vozi::platform
