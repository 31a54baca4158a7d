#include "platform/ProcessUser.h"

#include <pwd.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "platform/FileSystemLayout.h"

namespace vozi::platform {

namespace {

std::mutex& overrideMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<std::string>& overrideName() {
  static std::optional<std::string> name;
  return name;
}

std::string realName() {
  const uid_t uid = ::geteuid();
  if (uid == 0) return "root";
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
    return found->pw_name;
  return std::to_string(uid);
}

}  // namespace

uid_t ProcessUser::uid() { return ::geteuid(); }

std::string ProcessUser::name() {
  {
    std::lock_guard lock(overrideMutex());
    if (overrideName()) return *overrideName();
  }
  static const std::string real = realName();
  return real;
}

std::optional<std::string> ProcessUser::homeDirectory() { return FileSystemLayout::homeDirectory(name()); }

std::optional<std::string> ProcessUser::homeTreePath() { return FileSystemLayout::homeTreePath(name()); }

void ProcessUser::setNameOverride(std::optional<std::string> name) {
  std::lock_guard lock(overrideMutex());
  overrideName() = std::move(name);
}

}  // namespace vozi::platform
