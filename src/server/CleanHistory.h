#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/ItemGroupName.h"
#include "common/ScanGroupName.h"
#include "platform/Date.h"
#include "platform/Value.h"
#include "store/MOScanGroup.h"

namespace vozi {

// One module's cleaning figures, as the "cleaningHistory" socket reply
// carries them: bytes as stored (not rounded), times as seconds since 1970
// with their fraction.
struct CleanHistory {
  // What the report reads of a stored scan-group row.
  struct Row {
    std::optional<std::string> name;
    std::int64_t lastCleanedSize = 0;
    std::int64_t totalCleanedSize = 0;
    std::optional<platform::Date> lastCleanedDate;

    static Row of(const MOScanGroup& group);
  };

  static constexpr const char* kMemoryModule = "Memory";

  // The scan category whose history records a clean of the group: the
  // system's caches, logs and localisations are "System", the Trash and
  // temporary files "Leftovers", the others their own.
  static std::optional<ScanGroupName> categoryOf(ItemGroupName group);

  std::string name;
  std::int64_t lastCleanedBytes = 0;
  std::int64_t totalCleanedBytes = 0;
  std::optional<double> lastCleanedTimestamp;

  // The whole reply: {"method": "cleaningHistory", "parameters": {"modules":
  // [...], "lastCompleteCleanTimestamp": t}} (the timestamp only when there
  // is a date). A row without a name is left out; a later row of a name
  // replaces an earlier one; the "Memory" module's total is the machine's
  // installed memory. Modules come in name order.
  static platform::Value::Dictionary report(const std::vector<Row>& recentGroups,
                                            const std::optional<platform::Date>& lastCompleteCleanDate,
                                            std::uint64_t installedMemory);
};

}  // namespace vozi
