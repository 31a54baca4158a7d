#include "platform/ProcessInfo.h"

#include <malloc.h>

#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/HostRoot.h"
#include "platform/PathComponents.h"

namespace vozi::platform {

std::string ProcessInfo::processName() {
  // /proc/self/comm is cut to 15 characters; the invocation name is whole.
  std::string name = program_invocation_short_name ? program_invocation_short_name : "";
  return name;
}

bool ProcessInfo::isMainThread() { return threadIdentifier() == processIdentifier(); }

long ProcessInfo::processIdentifier() { return static_cast<long>(::getpid()); }

long ProcessInfo::threadIdentifier() { return static_cast<long>(::syscall(SYS_gettid)); }

unsigned long long ProcessInfo::physicalMemory() {
  struct sysinfo info {};
  if (::sysinfo(&info) != 0) return 0;
  return static_cast<unsigned long long>(info.totalram) * info.mem_unit;
}

std::string NSTemporaryDirectory() {
  const char* variable = std::getenv("TMPDIR");
  const std::string_view given = PathComponents::withoutTrailingSlashes(variable ? variable : "");
  std::string treePath = PathComponents::isCanonicalAbsolute(given) ? std::string(given) : "/tmp/";
  if (treePath.back() != '/') treePath += '/';
  return HostRoot::resolve(treePath);
}

void ProcessInfo::releaseFreeMemory() { ::malloc_trim(0); }

}  // namespace vozi::platform
