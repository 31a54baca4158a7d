#include "platform/FileSystemLayout.h"

#include "platform/HostRoot.h"
#include "platform/PathComponents.h"

namespace vozi::platform {

namespace {

struct Placement {
  SearchPathDirectory directory;
  const char* user;    // relative to the home, or null
  const char* local;   // tree path, or null
  const char* system;  // tree path, or null
};

// The network domain has no place under the host root and gives nothing.
constexpr Placement kPlacements[] = {
    {SearchPathDirectory::Applications, "/Applications", "/Applications", "/System/Applications"},
    {SearchPathDirectory::Library, "/Library", "/Library", "/System/Library"},
    {SearchPathDirectory::Users, nullptr, "/Users", nullptr},
    {SearchPathDirectory::Documents, "/Documents", nullptr, nullptr},
    {SearchPathDirectory::Desktop, "/Desktop", nullptr, nullptr},
    {SearchPathDirectory::Caches, "/Library/Caches", "/Library/Caches", "/System/Library/Caches"},
    {SearchPathDirectory::ApplicationSupport, "/Library/Application Support", "/Library/Application Support",
     "/System/Library/Application Support"},
    {SearchPathDirectory::Downloads, "/Downloads", nullptr, nullptr},
    {SearchPathDirectory::Movies, "/Movies", nullptr, nullptr},
    {SearchPathDirectory::Music, "/Music", nullptr, nullptr},
    {SearchPathDirectory::Pictures, "/Pictures", nullptr, nullptr},
    {SearchPathDirectory::PreferencePanes, "/Library/PreferencePanes", "/Library/PreferencePanes",
     "/System/Library/PreferencePanes"},
    {SearchPathDirectory::Trash, "/.Trash", nullptr, nullptr},
};

}  // namespace

bool FileSystemLayout::isValidUserName(std::string_view name) {
  return name.size() <= 255 && PathComponents::isSingleComponent(name);
}

std::optional<std::string> FileSystemLayout::homeTreePath(std::string_view userName) {
  if (!isValidUserName(userName)) return std::nullopt;
  if (userName == kSuperUserName) return std::string(kSuperUserHome);
  return std::string(kUsersFolder) + "/" + std::string(userName);
}

std::optional<std::string> FileSystemLayout::homeDirectory(std::string_view userName) {
  auto tree = homeTreePath(userName);
  if (!tree) return std::nullopt;
  return HostRoot::resolve(*tree);
}

std::vector<std::string> FileSystemLayout::treePaths(SearchPathDirectory directory, SearchPathDomainMask domains,
                                                     const std::optional<std::string>& homeTreePath) {
  std::vector<std::string> result;
  for (const Placement& placement : kPlacements) {
    if (placement.directory != directory) continue;
    if (contains(domains, SearchPathDomainMask::User) && placement.user && homeTreePath && !homeTreePath->empty()) {
      const std::string home(PathComponents::withoutTrailingSlashes(*homeTreePath));
      result.push_back((home == "/" ? std::string() : home) + placement.user);
    }
    if (contains(domains, SearchPathDomainMask::Local) && placement.local) result.emplace_back(placement.local);
    if (contains(domains, SearchPathDomainMask::System) && placement.system) result.emplace_back(placement.system);
  }
  return result;
}

std::vector<std::string> FileSystemLayout::urls(SearchPathDirectory directory, SearchPathDomainMask domains,
                                                const std::optional<std::string>& homeTreePath) {
  std::vector<std::string> result = treePaths(directory, domains, homeTreePath);
  for (std::string& path : result) path = HostRoot::resolve(path);
  return result;
}

}  // namespace vozi::platform
