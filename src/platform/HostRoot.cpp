#include "platform/HostRoot.h"

#include <cstdlib>

namespace vozi::platform {

std::string HostRoot::root() {
  const char* value = std::getenv("VOZI_ROOT");
  std::string root = value ? value : "";
  while (!root.empty() && root.back() == '/') root.pop_back();
  return root;
}

std::string HostRoot::resolve(std::string_view treePath) {
  if (treePath.empty() || treePath.front() != '/') return std::string(treePath);
  const std::string base = root();
  if (!base.empty() && treePath.substr(0, base.size()) == base &&
      (treePath.size() == base.size() || treePath[base.size()] == '/'))
    return std::string(treePath);  // already a host path
  return base + std::string(treePath);
}

std::string HostRoot::unresolve(std::string_view hostPath) {
  const std::string base = root();
  if (base.empty()) return std::string(hostPath);
  if (hostPath.substr(0, base.size()) != base) return std::string(hostPath);
  if (hostPath.size() == base.size()) return "/";
  if (hostPath[base.size()] != '/') return std::string(hostPath);
  return std::string(hostPath.substr(base.size()));
}

}  // namespace vozi::platform
