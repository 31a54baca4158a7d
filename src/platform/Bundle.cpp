#include "platform/Bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/PathComponents.h"

#ifndef VOZI_SOURCE_RESOURCES_DIR
#define VOZI_SOURCE_RESOURCES_DIR ""
#endif

namespace vozi::platform {

namespace {

bool isDirectory(const std::string& path) {
  struct stat info{};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isRegularFile(const std::string& path) {
  struct stat info{};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

Bundle Bundle::main() { return Bundle(); }

std::string Bundle::executableDirectory() {
  static const std::string directory = [] {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return std::string();
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
  }();
  return directory;
}

std::string Bundle::resourcePath() const {
  if (const char* configured = std::getenv("VOZI_RESOURCES"); configured && *configured) return configured;
  const std::string besideExecutable = executableDirectory() + "/Resources";
  if (!executableDirectory().empty() && isDirectory(besideExecutable)) return besideExecutable;
  return VOZI_SOURCE_RESOURCES_DIR;
}

std::optional<std::string> Bundle::pathForResource(std::string_view name, std::string_view type) const {
  // A NUL would cut the path short when it reaches the system.
  if (!PathComponents::isSingleComponent(name) || type.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
    return std::nullopt;
  std::string path = resourcePath();
  if (path.empty()) return std::nullopt;
  path.append("/").append(name);
  if (!type.empty()) path.append(".").append(type);
  if (!isRegularFile(path)) return std::nullopt;
  return path;
}

}  // namespace vozi::platform
