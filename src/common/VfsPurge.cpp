#include "common/VfsPurge.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace vozi {

namespace {

std::mutex& overrideMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::optional<std::string>& overridePath() {
  static auto* path = new std::optional<std::string>;
  return *path;
}

}  // namespace

int zol_vfs_purge() {
  std::string path = VfsPurge::kDropCachesPath;
  {
    std::lock_guard lock(overrideMutex());
    if (overridePath()) path = *overridePath();
  }
  return VfsPurge::purge(path);
}

int VfsPurge::purge(const std::string& dropCachesPath) {
  ::sync();
  const int fd = ::open(dropCachesPath.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return 1;
  ssize_t written;
  do {
    written = ::write(fd, "1", 1);
  } while (written < 0 && errno == EINTR);
  const bool closed = ::close(fd) == 0;
  return written == 1 && closed ? 0 : 1;
}

void VfsPurge::setDropCachesPathForTesting(std::optional<std::string> path) {
  std::lock_guard lock(overrideMutex());
  overridePath() = std::move(path);
}

}  // namespace vozi
