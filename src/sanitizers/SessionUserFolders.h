#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/IUserAgentLink.h"
#include "platform/Result.h"
#include "platform/URL.h"

namespace vozi {

// Where a scan may walk the folders a client named: the daemon runs as
// root, so a client's folder is walked (and later cleaned from) only
// inside the session user's home, the folder above the Library the agent
// link names; with no link, or one that cannot answer, inside "/Users".
class SessionUserFolders {
 public:
  // The home (or "/Users"), as a host path.
  static std::string allowedFolder(IUserAgentLink* userAgentLink);

  // The file URLs that are canonical and inside the allowed folder, as
  // paths without a trailing "/"; each other one is logged, after `what`
  // ("Not searched for duplicates").
  static std::vector<std::string> confined(const std::optional<std::vector<platform::URL>>& urls,
                                           const std::string& allowedFolder, std::string_view what);

  // The ".Trash" of the home under "/Users" holding the path, when it is
  // reached with no link and belongs to the home's owner.
  static std::optional<std::string> trashOfHomeHolding(const std::string& path);
  // Moves the item to that Trash (ENOENT when there is none) or removes it
  // for good, never through a link.
  static platform::Result<void> removeOrTrash(const std::string& path, bool toTrash);
};

}  // namespace vozi
