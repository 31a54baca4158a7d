#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "common/RawValue.h"

namespace vozi {

// Where the daemon listens and the UI application connects.
namespace UnixSocketIPCServerConstant {
// The socket's place in the macOS-style tree: the product folder in the local
// Application Support folder.
inline constexpr char treePath[] = "/Library/Application Support/div.ez.iru/div.ez.iru.socket";
// The host path of the socket under the host root.
std::string Path();
}  // namespace UnixSocketIPCServerConstant

namespace IPCShared {

// Display names of the scan sub-groups of the older scan-group model; a
// stored sub-group carries the raw value, so the strings never change.
enum class ScanSubGroupName {
  systemCache,
  systemLog,
  userCache,
  userLog,
  develJunk,
  i18nSystem,
  i18nApps,
  mailAttachments,
  photosCache,
  trashBin,
  temporaryFiles,
  appsLeftovers,
  memory,
  shredder,
  applications,
  duplicates,
  bigFiles,
};

// Every case, in declaration order.
inline constexpr std::array<ScanSubGroupName, 17> kAllScanSubGroupNames = {
    ScanSubGroupName::systemCache,   ScanSubGroupName::systemLog,      ScanSubGroupName::userCache,
    ScanSubGroupName::userLog,       ScanSubGroupName::develJunk,      ScanSubGroupName::i18nSystem,
    ScanSubGroupName::i18nApps,      ScanSubGroupName::mailAttachments, ScanSubGroupName::photosCache,
    ScanSubGroupName::trashBin,      ScanSubGroupName::temporaryFiles, ScanSubGroupName::appsLeftovers,
    ScanSubGroupName::memory,        ScanSubGroupName::shredder,       ScanSubGroupName::applications,
    ScanSubGroupName::duplicates,    ScanSubGroupName::bigFiles,
};

std::string_view rawValue(ScanSubGroupName name);

}  // namespace IPCShared

// Exact, case-sensitive match of the whole string.
template <>
std::optional<IPCShared::ScanSubGroupName> fromRawValue<IPCShared::ScanSubGroupName>(std::string_view raw);

}  // namespace vozi
