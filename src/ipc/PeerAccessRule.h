#pragma once

#include <sys/types.h>

#include <optional>
#include <string_view>

namespace vozi {

// Who may talk to the daemon where talking acts on the machine (the socket,
// the UI's and the menu-bar helper's services): root, the daemon's own user
// and the session user (the uid of the connected per-user agent). No other
// local user can shut the daemon down, set the e-mail or start a clean.
// The agent's own service is open to every uid: whoever connects there is
// the session user.
class PeerAccessRule {
 public:
  // Root, the daemon's own uid, or the session user's.
  static bool isPrivileged(uid_t peer, std::optional<uid_t> sessionUid);
  // Whether the named service serves a peer of this uid.
  static bool serves(std::string_view serviceName, uid_t peer, std::optional<uid_t> sessionUid);
};

}  // namespace vozi
