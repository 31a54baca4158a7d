#include "ipc/IPCShared.h"

#include "platform/HostRoot.h"

namespace vozi {

// Resolved on every call rather than cached: the host root is fixed for the
// daemon's life, but tests point it at a fresh folder each time.
std::string UnixSocketIPCServerConstant::Path() { return platform::HostRoot::resolve(treePath); }

std::string_view IPCShared::rawValue(ScanSubGroupName name) {
  switch (name) {
    case ScanSubGroupName::systemCache: return "System cache files";
    case ScanSubGroupName::systemLog: return "System log files";
    case ScanSubGroupName::userCache: return "User cache files";
    case ScanSubGroupName::userLog: return "User log files";
    case ScanSubGroupName::develJunk: return "Development junk";
    case ScanSubGroupName::i18nSystem: return "MacOS localizations";
    case ScanSubGroupName::i18nApps: return "Applications localizations";
    case ScanSubGroupName::mailAttachments: return "MailAttachments";
    case ScanSubGroupName::photosCache: return "Photos cache and recently deleted";
    case ScanSubGroupName::trashBin: return "Trash Bin";
    case ScanSubGroupName::temporaryFiles: return "Temporary files";
    case ScanSubGroupName::appsLeftovers: return "Deleted application leftovers";
    case ScanSubGroupName::memory: return "Memory";
    case ScanSubGroupName::shredder: return "Shredder";
    case ScanSubGroupName::applications: return "Applications";
    case ScanSubGroupName::duplicates: return "Duplicates";
    case ScanSubGroupName::bigFiles: return "BigFiles";
  }
  return {};
}

template <>
std::optional<IPCShared::ScanSubGroupName> fromRawValue<IPCShared::ScanSubGroupName>(std::string_view raw) {
  return caseWithRawValue(IPCShared::kAllScanSubGroupNames, raw);
}

}  // namespace vozi
