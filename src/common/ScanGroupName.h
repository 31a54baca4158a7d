#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "common/RawValue.h"

namespace vozi {

// The scan groups of the older scan-group model. Their raw values select the
// stored scan-group runs.
enum class ScanGroupName {
  system,
  leftovers,
  threats,
  memory,
  duplicates,
  applications,
  archives,
  extensions,
  bigFiles,
  mailAttachments,
  shredder,
};

// Every case, in declaration order.
inline constexpr std::array<ScanGroupName, 11> kAllScanGroupNames = {
    ScanGroupName::system,       ScanGroupName::leftovers,  ScanGroupName::threats,
    ScanGroupName::memory,       ScanGroupName::duplicates, ScanGroupName::applications,
    ScanGroupName::archives,     ScanGroupName::extensions, ScanGroupName::bigFiles,
    ScanGroupName::mailAttachments, ScanGroupName::shredder,
};

// For Utilities::iterateEnum.
constexpr std::size_t enumCaseCount(ScanGroupName) { return kAllScanGroupNames.size(); }

std::string_view rawValue(ScanGroupName name);

template <>
std::optional<ScanGroupName> fromRawValue<ScanGroupName>(std::string_view raw);

}  // namespace vozi
