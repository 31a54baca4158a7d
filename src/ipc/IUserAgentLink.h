#pragma once

#include <sys/types.h>

#include <optional>

#include <string>

#include "platform/Error.h"
#include "platform/Result.h"

namespace vozi {

// The failure of every ask of the per-user agent: no agent is connected,
// its connection ended while the ask waited, or its answer was not trusted.
struct UserAgentManagerError {
  static constexpr char kDomain[] = "UserAgentManagerError";
  enum Code : long { noUserContext = 0 };

  static platform::Error make(Code code = noUserContext) { return platform::Error(kDomain, code); }
  static bool is(const platform::Error& error, Code code = noUserContext) {
    return error.domain == kDomain && error.code == code;
  }
};

// What scanning and cleaning need of the session user, as the agent link
// answers it. The folders are host paths (under the host root) that were
// checked before they were handed out. The asks block the calling thread
// until the agent answers or the link gives up; never call them on the
// link's own queue.
class IUserAgentLink {
 public:
  virtual ~IUserAgentLink() = default;

  virtual platform::Result<std::string> libraryDirectory() = 0;
  virtual platform::Result<std::string> cachesDirectory() = 0;
  virtual platform::Result<std::string> trashDirectory() = 0;
  // Asks the agent to refresh the media library; nothing when no agent is
  // connected. Does not wait.
  virtual void updateITunesLibrary() = 0;
  // The session user's account, as the agent's connection tells it; none
  // while no agent is connected.
  virtual std::optional<uid_t> sessionUid() const { return std::nullopt; }
};

}  // namespace vozi
