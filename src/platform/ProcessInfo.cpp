#include "platform/ProcessInfo.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace vozi::platform {

std::string ProcessInfo::processName() {
  // /proc/self/comm is cut to 15 characters; the invocation name is whole.
  std::string name = program_invocation_short_name ? program_invocation_short_name : "";
  return name;
}

bool ProcessInfo::isMainThread() { return threadIdentifier() == processIdentifier(); }

long ProcessInfo::processIdentifier() { return static_cast<long>(::getpid()); }

long ProcessInfo::threadIdentifier() { return static_cast<long>(::syscall(SYS_gettid)); }

}  // namespace vozi::platform
