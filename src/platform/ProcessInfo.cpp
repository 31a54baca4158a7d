#include "platform/ProcessInfo.h"

#include <malloc.h>
#include <sys/mman.h>

#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <sstream>
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

namespace {

std::mutex& memoryReportMutex() {
  static std::mutex mutex;
  return mutex;
}
std::optional<std::string>& memoryReportPath() {
  static std::optional<std::string> path;
  return path;
}

}  // namespace

std::optional<unsigned long long> ProcessInfo::freeMemory() {
  std::string path;
  {
    std::lock_guard lock(memoryReportMutex());
    path = memoryReportPath().value_or("/proc/meminfo");
  }
  std::ifstream report(path);
  std::string line;
  while (std::getline(report, line)) {
    // "MemFree:        1234567 kB"
    static constexpr std::string_view kKey = "MemFree:";
    if (line.compare(0, kKey.size(), kKey) != 0) continue;
    std::istringstream fields(line.substr(kKey.size()));
    unsigned long long kilobytes = 0;
    std::string unit;
    if (!(fields >> kilobytes >> unit) || unit != "kB") return std::nullopt;
    return kilobytes * 1024ull;
  }
  return std::nullopt;
}

void ProcessInfo::setMemoryReportPathForTesting(std::optional<std::string> path) {
  std::lock_guard lock(memoryReportMutex());
  memoryReportPath() = std::move(path);
}

std::string NSTemporaryDirectory() {
  const char* variable = std::getenv("TMPDIR");
  const std::string_view given = PathComponents::withoutTrailingSlashes(variable ? variable : "");
  std::string treePath = PathComponents::isCanonicalAbsolute(given) ? std::string(given) : "/tmp/";
  if (treePath.back() != '/') treePath += '/';
  return HostRoot::resolve(treePath);
}

void ProcessInfo::releaseFreeMemory() { ::malloc_trim(0); }

namespace {
std::atomic<bool> largePagesAllowed{false};
}  // namespace

void ProcessInfo::allowLargePages(bool allowed) { largePagesAllowed = allowed; }

void ProcessInfo::adviseLargePages(void* start, std::size_t size) {
  if (!largePagesAllowed) return;
  constexpr std::uintptr_t kLargePage = 2u << 20;
  const auto first = (reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(start) + size) & ~(kLargePage - 1);
  if (end <= first) return;
  // Advice only: a failure leaves the buffer in small pages.
  ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void ProcessInfo::reserveHeap(std::size_t bytes) {
  keepFreedMemoryForReuse();
  void* const start = ::sbrk(0);
  void* const block = std::malloc(bytes);  // the heap's top grows by at least this much
  void* const end = ::sbrk(0);
  std::free(block);                        // and stays, untrimmed, for the blocks to come
  if (start == reinterpret_cast<void*>(-1) || end == reinterpret_cast<void*>(-1) || end <= start) return;
  adviseLargePages(start, static_cast<std::size_t>(static_cast<char*>(end) - static_cast<char*>(start)));
}

void ProcessInfo::keepFreedMemoryForReuse() {
  // One heap for every thread: a block freed by one thread is found again
  // by the next, where an arena of its own per thread would keep it from
  // the others, and a block too large for a thread's arena would be mapped
  // and unmapped each time.
  ::mallopt(M_ARENA_MAX, 1);
  // Blocks up to this size come from the heap, not from mappings of their
  // own that are unmapped when freed; the heap's top is not trimmed.
  ::mallopt(M_MMAP_THRESHOLD, 256 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

}  // namespace vozi::platform
