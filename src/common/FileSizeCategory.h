#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/RawValue.h"
#include "common/ZOLMFileItemType.h"
#include "platform/Date.h"

namespace vozi {

// The four size buckets of the big-files search; the raw value is the case
// name and travels as the key of search results.
enum class FileSizeCategory {
  bigger1GB = 0,
  from500MBTo1GB = 1,
  from50MBTo500MB = 2,
  less50MB = 3,
};

// The bucket bounds. They are those the stored results and the interface
// were built with: close to, but not exactly, 500 MiB and 50 MiB.
inline constexpr std::uint64_t kFileSizeBound1GB = 1073741824ull;
inline constexpr std::uint64_t kFileSizeBound500MB = 524228000ull;
inline constexpr std::uint64_t kFileSizeBound50MB = 52422800ull;

std::string_view rawValue(FileSizeCategory category);
template <>
std::optional<FileSizeCategory> fromRawValue<FileSizeCategory>(std::string_view raw);

// A size on a bound belongs to the bucket below it (a big-file item).
FileSizeCategory fileSizeCategoryStrict(std::uint64_t bytes);
// A size on a bound belongs to the bucket above it (a file model).
FileSizeCategory fileSizeCategoryInclusive(std::uint64_t bytes);

// How long ago a file was last opened, at the least; the raw value is the
// limit's offset from now in seconds.
enum class FileLastOpenInterval {
  daysAgo30 = 0,
  daysAgo60 = 1,
  daysAgo90 = 2,
};

double rawValue(FileLastOpenInterval interval);
// The case whose raw value is exactly `raw`.
std::optional<FileLastOpenInterval> fileLastOpenInterval(double raw);

// What a file model offers to be collected by a file search: its bucket, a
// constructor from what the search read, equality and a hash (results are
// sets of models).
template <typename T>
concept FileRepresentation =
    std::equality_comparable<T> &&
    requires(const T& model, std::string path, std::uint64_t size, std::optional<platform::Date> lastOpen,
             std::optional<ZOLMFileItemType> fileType) {
      { model.fileSizeCategory() } -> std::same_as<FileSizeCategory>;
      T(path, size, lastOpen, fileType);
      { std::hash<T>{}(model) } -> std::convertible_to<std::size_t>;
    };

}  // namespace vozi
