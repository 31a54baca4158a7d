#include "sanitizers/CleaningScope.h"

namespace vozi {

namespace {

bool isCanonical(std::string_view path) {
  if (path.size() < 2 || path.front() != '/' || path.back() == '/') return false;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

// Strictly below root, by whole components: "/a/bc" is not under "/a/b".
bool isBelow(std::string_view path, std::string_view root) {
  while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
  if (root == "/") return true;
  return path.size() > root.size() + 1 && path.substr(0, root.size()) == root && path[root.size()] == '/';
}

}  // namespace

bool CleaningScope::admits(std::string_view path) const {
  if (!isCanonical(path)) return false;
  if (!storedPaths.contains(std::string(path))) return false;
  for (const std::string& root : roots) {
    if (!root.empty() && root.front() == '/' && isBelow(path, root)) return true;
  }
  return false;
}

}  // namespace vozi
