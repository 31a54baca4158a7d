#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vozi::platform {

// The kinds of standard folders a search asks for; the values are the ones
// peers and stored settings use for them.
enum class SearchPathDirectory : unsigned long {
  Applications = 1,
  Library = 5,
  Users = 7,
  Documents = 9,
  Desktop = 12,
  Caches = 13,
  ApplicationSupport = 14,
  Downloads = 15,
  Movies = 17,
  Music = 18,
  Pictures = 19,
  PreferencePanes = 22,
  Trash = 102,
};

// Where to look: the user's home, the machine ("local"), the network, the
// system. A mask may combine several; results come in this order.
enum class SearchPathDomainMask : unsigned long {
  None = 0,
  User = 1,
  Local = 2,
  Network = 4,
  System = 8,
  All = 0x0ffff,
};

constexpr SearchPathDomainMask operator|(SearchPathDomainMask a, SearchPathDomainMask b) {
  return static_cast<SearchPathDomainMask>(static_cast<unsigned long>(a) | static_cast<unsigned long>(b));
}
constexpr bool contains(SearchPathDomainMask mask, SearchPathDomainMask domain) {
  return (static_cast<unsigned long>(mask) & static_cast<unsigned long>(domain)) != 0;
}

// The macOS folder layout the daemon works on, as tree paths ("/Users/bob")
// and as host paths resolved against the host root. A user's home is
// "/Users/<name>", the super-user's "/var/root"; the user domain lives under
// "<home>/Library", the local domain under "/Library", the system domain
// under "/System/Library"; "/tmp" is a link to "private/tmp".
class FileSystemLayout {
 public:
  static constexpr const char* kUsersFolder = "/Users";
  static constexpr const char* kSuperUserName = "root";
  static constexpr const char* kSuperUserHome = "/var/root";
  static constexpr const char* kTemporaryFolder = "/tmp";
  static constexpr const char* kPrivateTemporaryFolder = "/private/tmp";
  static constexpr const char* kTemporaryLinkTarget = "private/tmp";
  static constexpr const char* kLocalLibrary = "/Library";
  static constexpr const char* kSystemFolder = "/System";
  static constexpr const char* kSystemLibrary = "/System/Library";
  static constexpr const char* kApplicationsFolder = "/Applications";

  // A user name may become a path component only when it is not empty, not
  // "." or "..", holds no "/" and no NUL and fits a file name.
  static bool isValidUserName(std::string_view name);

  // The tree path of a user's home, none for a name that fails the check.
  static std::optional<std::string> homeTreePath(std::string_view userName);
  // The same resolved against the host root.
  static std::optional<std::string> homeDirectory(std::string_view userName);

  // Tree paths of a kind of folder in the given domains, in the order user,
  // local, network, system. The user domain is taken relative to
  // homeTreePath (a tree path such as "/Users/bob"); with no home the user
  // domain gives nothing. Kinds a domain does not have are left out.
  static std::vector<std::string> treePaths(SearchPathDirectory directory, SearchPathDomainMask domains,
                                            const std::optional<std::string>& homeTreePath);
  // The same resolved against the host root.
  static std::vector<std::string> urls(SearchPathDirectory directory, SearchPathDomainMask domains,
                                       const std::optional<std::string>& homeTreePath);
};

}  // namespace vozi::platform
