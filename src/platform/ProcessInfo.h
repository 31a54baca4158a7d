#pragma once

#include <optional>
#include <string>

#include <string>

namespace vozi::platform {

class ProcessInfo {
 public:
  // The process's name: the file name of its executable ("VOZi" for the daemon).
  static std::string processName();
  // True on the thread that started the process.
  static bool isMainThread();
  // The process's id, and the system's id of the calling thread (the
  // numbers a log line carries).
  static long processIdentifier();
  static long threadIdentifier();
  // The machine's memory in bytes (sysinfo); 0 when it cannot be read.
  static unsigned long long physicalMemory();
  // The memory nobody uses ("MemFree" of the kernel's memory report), in
  // bytes; none when the report cannot be read or has no such line.
  static std::optional<unsigned long long> freeMemory();
  // Reads the report from another file (a test's fixture) or, with none,
  // from "/proc/meminfo" again. Production code never calls it.
  static void setMemoryReportPathForTesting(std::optional<std::string> path);
  // Hands the heap's free memory back to the system (after a large piece of
  // work whose memory is free again but still held by the allocator).
  static void releaseFreeMemory();
  // Keeps large freed blocks in the heap for the next piece of work instead
  // of handing each back to the system at once: memory handed back and
  // asked for again is faulted in page by page, which costs more than the
  // work that fills it. Every thread allocates from the one heap. A process
  // that sets this calls releaseFreeMemory() once it is idle.
  static void keepFreedMemoryForReuse();
  // Asks for the pages of a large buffer about to be filled whole to come in
  // large pages: one fault per 2 MiB instead of one per 4 KiB. Only the
  // aligned middle of [start, start + size) is advised; small buffers and
  // systems that do not offer large pages are left as they are. Does
  // nothing unless the process allowed it: the advice stays with the
  // memory once the buffer is freed, and the heap parts it then serves
  // take whole large pages, which only a short-lived process can afford.
  static void adviseLargePages(void* start, std::size_t size);
  static void allowLargePages(bool allowed);
  // For a short-lived process about to fill a large heap: with freed memory
  // kept as above, the heap is grown once by `bytes`, in large pages when
  // allowed and offered. The pages are only reserved: each counts once it
  // is touched.
  static void reserveHeap(std::size_t bytes);
};

// The process's temporary folder, as a host path ending with "/": the tree
// path in TMPDIR when that is absolute and free of "." and ".." components,
// else "/tmp/", under the host root.
std::string NSTemporaryDirectory();

}  // namespace vozi::platform
