#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "common/MemoryGroup.h"
#include "platform/Error.h"
#include "sanitizers/BaseSanitizer.h"
#include "sanitizers/Sanitizer.h"
#include "sanitizers/SanitizerCleaningOperation.h"

namespace vozi {

// Why free memory could not be read.
enum class MemoryError : long {
  cannotGetVMPageSize = 0,
  cannotGetVMStat = 1,
};

namespace memory {

inline constexpr const char* kErrorDomain = "MemoryError";
// The free bytes; the error when the kernel's report cannot be read.
platform::Result<std::uint64_t> freeInfo();
// The free bytes, 0 with the error's log line when they cannot be read.
std::uint64_t freeBytes();

}  // namespace memory

// The older memory sanitizer: reads free memory and purges the file cache;
// it has no folders.
class MemorySanitizer : public Sanitizer {
 public:
  static constexpr const char* FreeKey = "free";

  using Sanitizer::purge;
  MemorySanitizer() : Sanitizer(std::vector<std::string>{}) {}
  std::string name() const override { return "MemorySanitizer"; }

  // (free bytes, {"free": free bytes}); (0, {"free": 0}) when unreadable.
  ScanResult scan() override;
  // Purges the file cache and answers the free bytes afterwards.
  std::uint64_t purge() override;
  // The installed memory.
  std::uint64_t totalBytes() const;
};

// The memory clean: free memory is read, the file cache purged, free memory
// read again, and what was gained (never less than 0) goes into the group as
// one MemoryItem named "memory". Four progress units; a cancellation seen
// after the purge adds no item, takes no second reading and reports three.
class MemoryCleaningOperation : public SanitizerCleaningOperation<MemoryGroup> {
 public:
  static constexpr const char* kItemIdentifier = "memoryItemIdenntifier";
  static constexpr const char* kItemName = "memory";

  using SanitizerCleaningOperation::SanitizerCleaningOperation;
  void main() override;
};

// The memory group's sanitizer: no scan; the clean is MemoryCleaningOperation.
class RAMMemorySanitizer : public BaseSanitizer<MemoryGroup> {
 public:
  using BaseSanitizer::BaseSanitizer;

 protected:
  std::shared_ptr<CleaningOperation> cleanOperation(const GroupPtr& group, Operation::Completion completion,
                                                    Operation::ProgressHandler progressHandler) override {
    return std::make_shared<MemoryCleaningOperation>(group, std::move(completion), std::move(progressHandler));
  }
};

}  // namespace vozi
