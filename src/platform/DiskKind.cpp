#include "platform/DiskKind.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

namespace vozi::platform {

namespace {

DiskKind::Rotation readRotation(const std::filesystem::path& file) {
  std::ifstream in(file);
  char value = 0;
  if (!(in >> value)) return DiskKind::Rotation::unknown;
  if (value == '1') return DiskKind::Rotation::rotating;
  if (value == '0') return DiskKind::Rotation::solid;
  return DiskKind::Rotation::unknown;
}

}  // namespace

DiskKind::Rotation DiskKind::rotation(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return Rotation::unknown;
  namespace fs = std::filesystem;
  std::error_code error;
  // The device's node; a partition's answer is its whole disk's.
  const fs::path device = fs::canonical(fs::path("/sys/dev/block") / (std::to_string(major(info.st_dev)) + ":" +
                                                                      std::to_string(minor(info.st_dev))),
                                        error);
  if (error) return Rotation::unknown;
  const fs::path disk = fs::exists(device / "partition", error) ? device.parent_path() : device;
  return readRotation(disk / "queue" / "rotational");
}

}  // namespace vozi::platform
