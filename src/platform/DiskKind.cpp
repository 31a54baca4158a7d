#include "platform/DiskKind.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

namespace vozi::platform {

namespace {

bool readsOne(const std::filesystem::path& file) {
  std::ifstream in(file);
  char value = 0;
  return static_cast<bool>(in >> value) && value == '1';
}

}  // namespace

bool DiskKind::isRotational(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return false;
  namespace fs = std::filesystem;
  std::error_code error;
  // The device's node; a partition's answer is its whole disk's.
  const fs::path device = fs::canonical(fs::path("/sys/dev/block") / (std::to_string(major(info.st_dev)) + ":" +
                                                                      std::to_string(minor(info.st_dev))),
                                        error);
  if (error) return false;
  const fs::path disk = fs::exists(device / "partition", error) ? device.parent_path() : device;
  return readsOne(disk / "queue" / "rotational");
}

}  // namespace vozi::platform
