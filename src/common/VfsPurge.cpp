#include "common/VfsPurge.h"

#include <mutex>

#include "platform/PageCache.h"

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
  return platform::PageCache::purge(dropCachesPath) ? 0 : 1;
}

void VfsPurge::setDropCachesPathForTesting(std::optional<std::string> path) {
  std::lock_guard lock(overrideMutex());
  overridePath() = std::move(path);
}

}  // namespace vozi
