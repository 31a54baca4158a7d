#include "cleaners/MemorySanitizer.h"

#include "common/MLog.h"
#include "common/MemoryItem.h"
#include "common/VfsPurge.h"
#include "platform/ProcessInfo.h"

namespace vozi {

namespace memory {

platform::Result<std::uint64_t> freeInfo() {
  const auto free = platform::ProcessInfo::freeMemory();
  if (!free) return platform::Error(kErrorDomain, static_cast<long>(MemoryError::cannotGetVMStat));
  return static_cast<std::uint64_t>(*free);
}

std::uint64_t freeBytes() {
  const auto free = freeInfo();
  if (free) return *free;
  MLog(free.error().code == static_cast<long>(MemoryError::cannotGetVMPageSize)
           ? "Memory error. Can not get VM page size."
           : "Memory error. Can not get memory statitics.");
  return 0;
}

}  // namespace memory

Sanitizer::ScanResult MemorySanitizer::scan() {
  const std::uint64_t free = memory::freeBytes();
  return {free, {{FreeKey, free}}};
}

std::uint64_t MemorySanitizer::purge() {
  MLog("Memory sanitizer clean memory");
  zol_vfs_purge();
  return scan().first;
}

std::uint64_t MemorySanitizer::totalBytes() const { return platform::ProcessInfo::physicalMemory(); }

void MemoryCleaningOperation::main() {
  MLog("start memory cleaning operation");
  setDuration(4);
  const std::uint64_t before = memory::freeBytes();
  incrementProgress(1);
  const std::uint64_t installed = platform::ProcessInfo::physicalMemory();
  incrementProgress(1);
  zol_vfs_purge();
  incrementProgress(1);
  if (!isCancelled()) {
    const std::uint64_t after = memory::freeBytes();
    incrementProgress(1);
    // Other processes may have taken more than the purge gave back.
    const std::uint64_t gained = after > before ? after - before : 0;
    itemGroup()->addItem(std::make_shared<MemoryItem>(gained, installed, kItemIdentifier, kItemName));
    progressDidFinish();
  }
  complete(itemGroup(), isCancelled());
}

}  // namespace vozi
