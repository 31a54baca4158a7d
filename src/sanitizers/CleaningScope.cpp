#include "sanitizers/CleaningScope.h"

#include "platform/PathComponents.h"

namespace vozi {

namespace {

// Strictly below root, by whole components: "/a/bc" is not under "/a/b".
bool isBelow(std::string_view path, std::string_view root) {
  while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
  if (root == "/") return true;
  return path.size() > root.size() + 1 && path.substr(0, root.size()) == root && path[root.size()] == '/';
}

}  // namespace

bool CleaningScope::admits(std::string_view path) const {
  if (!platform::PathComponents::isCanonicalAbsolute(path)) return false;
  if (!storedPaths.contains(std::string(path))) return false;
  for (const std::string& root : roots) {
    if (!root.empty() && root.front() == '/' && isBelow(path, root)) return true;
  }
  return false;
}

}  // namespace vozi
