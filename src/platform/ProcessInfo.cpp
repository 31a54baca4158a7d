#include "platform/ProcessInfo.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/HostRoot.h"

namespace vozi::platform {

std::string ProcessInfo::processName() {
  // /proc/self/comm is cut to 15 characters; the invocation name is whole.
  std::string name = program_invocation_short_name ? program_invocation_short_name : "";
  return name;
}

bool ProcessInfo::isMainThread() { return threadIdentifier() == processIdentifier(); }

long ProcessInfo::processIdentifier() { return static_cast<long>(::getpid()); }

long ProcessInfo::threadIdentifier() { return static_cast<long>(::syscall(SYS_gettid)); }

namespace {

// Absolute, and no component is empty, "." or "..": a text that cannot
// climb out of the host root.
bool isPlainTreePath(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  std::size_t start = 1;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view component = path.substr(start, end - start);
    const bool last = end == path.size();
    if ((component.empty() && !last) || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string NSTemporaryDirectory() {
  const char* variable = std::getenv("TMPDIR");
  std::string treePath = variable && isPlainTreePath(variable) ? variable : "/tmp/";
  if (treePath.back() != '/') treePath += '/';
  return HostRoot::resolve(treePath);
}

}  // namespace vozi::platform
