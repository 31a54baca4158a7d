#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "common/RawValue.h"

namespace vozi {

// The kinds of result the daemon scans for and cleans. The raw value of each
// case is its name; it names the group, selects groups in requests and stems
// the stored entity names, so it never changes.
enum class ItemGroupName {
  memory,
  duplicates,
  applications,
  bigFiles,
  mailAttachments,
  shredder,
  systemCache,
  systemLogs,
  userCache,
  userLogs,
  systemLanguages,
  applicationsLanguages,
  trashBin,
  temporaryFiles,
};

// Every case, in declaration order.
inline constexpr std::array<ItemGroupName, 14> kAllItemGroupNames = {
    ItemGroupName::memory,          ItemGroupName::duplicates,      ItemGroupName::applications,
    ItemGroupName::bigFiles,        ItemGroupName::mailAttachments, ItemGroupName::shredder,
    ItemGroupName::systemCache,     ItemGroupName::systemLogs,      ItemGroupName::userCache,
    ItemGroupName::userLogs,        ItemGroupName::systemLanguages, ItemGroupName::applicationsLanguages,
    ItemGroupName::trashBin,        ItemGroupName::temporaryFiles,
};

// For Utilities::iterateEnum.
constexpr std::size_t enumCaseCount(ItemGroupName) { return kAllItemGroupNames.size(); }

std::string_view rawValue(ItemGroupName name);

// Exact, case-sensitive match of the whole string.
template <>
std::optional<ItemGroupName> fromRawValue<ItemGroupName>(std::string_view raw);

}  // namespace vozi
