#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace vozi::platform {

// The account the process runs as, seen through the macOS layout: its login
// name and its home under the host root ("/var/root" for the super-user,
// "/Users/<name>" otherwise).
class ProcessUser {
 public:
  // The login name of the effective user ("root" for uid 0).
  static std::string name();
  static bool isSuperUser() { return name() == "root"; }
  // The effective user id the process runs as (the real one: the name
  // override does not change it).
  static uid_t uid();
  // The host path of the process user's home in the layout; none when the
  // name cannot be a path component.
  static std::optional<std::string> homeDirectory();
  // The tree path of the same home.
  static std::optional<std::string> homeTreePath();

  // Makes name() answer the given name instead of the real one (none gives
  // the real one back). Meant for tests that play another account.
  static void setNameOverride(std::optional<std::string> name);
};

}  // namespace vozi::platform
