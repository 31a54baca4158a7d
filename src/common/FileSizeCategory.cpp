#include "common/FileSizeCategory.h"

#include <array>

namespace vozi {

namespace {

constexpr std::array<std::string_view, 4> kCategoryNames = {"bigger1GB", "from500MBTo1GB", "from50MBTo500MB",
                                                            "less50MB"};
constexpr std::array<double, 3> kIntervals = {-2592000.0, -5184000.0, -7776000.0};

}  // namespace

std::string_view rawValue(FileSizeCategory category) { return kCategoryNames.at(static_cast<std::size_t>(category)); }

template <>
std::optional<FileSizeCategory> fromRawValue<FileSizeCategory>(std::string_view raw) {
  for (std::size_t index = 0; index < kCategoryNames.size(); ++index) {
    if (kCategoryNames[index] == raw) return static_cast<FileSizeCategory>(index);
  }
  return std::nullopt;
}

FileSizeCategory fileSizeCategoryStrict(std::uint64_t bytes) {
  if (bytes > kFileSizeBound1GB) return FileSizeCategory::bigger1GB;
  if (bytes > kFileSizeBound500MB) return FileSizeCategory::from500MBTo1GB;
  if (bytes > kFileSizeBound50MB) return FileSizeCategory::from50MBTo500MB;
  return FileSizeCategory::less50MB;
}

FileSizeCategory fileSizeCategoryInclusive(std::uint64_t bytes) {
  if (bytes >= kFileSizeBound1GB) return FileSizeCategory::bigger1GB;
  if (bytes >= kFileSizeBound500MB) return FileSizeCategory::from500MBTo1GB;
  if (bytes >= kFileSizeBound50MB) return FileSizeCategory::from50MBTo500MB;
  return FileSizeCategory::less50MB;
}

double rawValue(FileLastOpenInterval interval) { return kIntervals.at(static_cast<std::size_t>(interval)); }

std::optional<FileLastOpenInterval> fileLastOpenInterval(double raw) {
  for (std::size_t index = 0; index < kIntervals.size(); ++index) {
    if (kIntervals[index] == raw) return static_cast<FileLastOpenInterval>(index);
  }
  return std::nullopt;
}

}  // namespace vozi
