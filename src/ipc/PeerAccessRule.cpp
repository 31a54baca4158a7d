#include "ipc/PeerAccessRule.h"

#include "ipc/XPCServices.h"
#include "platform/ProcessUser.h"

namespace vozi {

bool PeerAccessRule::isPrivileged(uid_t peer, std::optional<uid_t> sessionUid) {
  return peer == 0 || peer == platform::ProcessUser::uid() || (sessionUid && *sessionUid == peer);
}

bool PeerAccessRule::serves(std::string_view serviceName, uid_t peer, std::optional<uid_t> sessionUid) {
  if (serviceName == kUserAgentClientServiceName) return true;
  return isPrivileged(peer, sessionUid);
}

}  // namespace vozi
