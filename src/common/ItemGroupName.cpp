#include "common/ItemGroupName.h"

namespace vozi {

std::string_view rawValue(ItemGroupName name) {
  switch (name) {
    case ItemGroupName::memory: return "memory";
    case ItemGroupName::duplicates: return "duplicates";
    case ItemGroupName::applications: return "applications";
    case ItemGroupName::bigFiles: return "bigFiles";
    case ItemGroupName::mailAttachments: return "mailAttachments";
    case ItemGroupName::shredder: return "shredder";
    case ItemGroupName::systemCache: return "systemCache";
    case ItemGroupName::systemLogs: return "systemLogs";
    case ItemGroupName::userCache: return "userCache";
    case ItemGroupName::userLogs: return "userLogs";
    case ItemGroupName::systemLanguages: return "systemLanguages";
    case ItemGroupName::applicationsLanguages: return "applicationsLanguages";
    case ItemGroupName::trashBin: return "trashBin";
    case ItemGroupName::temporaryFiles: return "temporaryFiles";
  }
  return {};
}

template <>
std::optional<ItemGroupName> fromRawValue<ItemGroupName>(std::string_view raw) {
  return caseWithRawValue(kAllItemGroupNames, raw);
}

}  // namespace vozi
