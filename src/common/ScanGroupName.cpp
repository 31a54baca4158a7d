#include "common/ScanGroupName.h"

namespace vozi {

std::string_view rawValue(ScanGroupName name) {
  switch (name) {
    case ScanGroupName::system: return "System";
    case ScanGroupName::leftovers: return "Leftovers";
    case ScanGroupName::threats: return "Threats";
    case ScanGroupName::memory: return "Memory";
    case ScanGroupName::duplicates: return "Duplicates";
    case ScanGroupName::applications: return "Applications";
    case ScanGroupName::archives: return "Archives";
    case ScanGroupName::extensions: return "Extensions";
    case ScanGroupName::bigFiles: return "BigFiles";
    case ScanGroupName::mailAttachments: return "MailAttachments";
    case ScanGroupName::shredder: return "Shredder";
  }
  return {};
}

template <>
std::optional<ScanGroupName> fromRawValue<ScanGroupName>(std::string_view raw) {
  return caseWithRawValue(kAllScanGroupNames, raw);
}

}  // namespace vozi
