#include "platform/MountedVolumes.h"

#include <sys/statvfs.h>

#include <fstream>
#include <sstream>

namespace vozi::platform {

namespace {

// "\040" stands for a space, "\011" a tab, "\012" a newline, "\134" a
// backslash: the kernel escapes what would break the table's fields.
std::string decodeOctalEscapes(const std::string& field) {
  std::string decoded;
  decoded.reserve(field.size());
  const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
  for (std::size_t at = 0; at < field.size(); ++at) {
    if (field[at] == '\\' && at + 3 < field.size() && isOctal(field[at + 1]) && isOctal(field[at + 2]) &&
        isOctal(field[at + 3])) {
      decoded += static_cast<char>((field[at + 1] - '0') * 64 + (field[at + 2] - '0') * 8 + (field[at + 3] - '0'));
      at += 3;
      continue;
    }
    decoded += field[at];
  }
  return decoded;
}

}  // namespace

std::vector<std::string> MountedVolumes::mountPoints(const std::string& mountInfoPath) {
  std::vector<std::string> points;
  std::ifstream table(mountInfoPath);
  std::string line;
  while (std::getline(table, line)) {
    // id, parent id, major:minor, root, mount point, ...
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint;
    if (!(fields >> id >> parent >> device >> root >> mountPoint)) continue;
    points.push_back(decodeOctalEscapes(mountPoint));
  }
  return points;
}

std::optional<MountedVolumes::Figures> MountedVolumes::figures(const std::string& mountPoint) {
  struct statvfs info {};
  if (::statvfs(mountPoint.c_str(), &info) != 0) return std::nullopt;
  Figures figures;
  figures.totalCapacity = static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize;
  figures.availableCapacity = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  figures.resourceCount = info.f_files >= info.f_ffree ? static_cast<std::uint64_t>(info.f_files - info.f_ffree) : 0;
  return figures;
}

}  // namespace vozi::platform
