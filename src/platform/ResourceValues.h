#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Date.h"
#include "platform/Error.h"

namespace vozi::platform {

// Which facts of an item to read. A set of bits; ResourceKeys::None reads
// nothing.
enum class ResourceKeys : std::uint32_t {
  None = 0,
  FileSize = 1u << 0,                 // logical length; none for folders
  ContentAccessDate = 1u << 1,        // last read
  CreationDate = 1u << 2,             // birth time, none where the file system keeps none
  ContentModificationDate = 1u << 3,  // last write
  AddedToDirectoryDate = 1u << 4,     // last status change: a move into the folder sets it
  IsDirectory = 1u << 5,              // a real folder; a link to one is not
  IsRegularFile = 1u << 6,
  IsSymbolicLink = 1u << 7,
  IsPackage = 1u << 8,
  IsHidden = 1u << 9,  // the name starts with a dot
  TypeIdentifier = 1u << 10,
  Name = 1u << 11,
};

constexpr ResourceKeys operator|(ResourceKeys a, ResourceKeys b) {
  return static_cast<ResourceKeys>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr ResourceKeys operator&(ResourceKeys a, ResourceKeys b) {
  return static_cast<ResourceKeys>(static_cast<std::uint32_t>(a) & static_cast<std::uint32_t>(b));
}
constexpr bool contains(ResourceKeys set, ResourceKeys key) {
  return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(key)) != 0;
}

// The facts read for the requested keys; a fact not asked for, or one the
// file system does not keep, is absent. Links are never followed: the
// values of a link describe the link itself.
struct ResourceValues {
  std::optional<std::uint64_t> fileSize;
  std::optional<Date> contentAccessDate;
  std::optional<Date> creationDate;
  std::optional<Date> contentModificationDate;
  std::optional<Date> addedToDirectoryDate;
  std::optional<bool> isDirectory;
  std::optional<bool> isRegularFile;
  std::optional<bool> isSymbolicLink;
  std::optional<bool> isPackage;
  std::optional<bool> isHidden;
  std::optional<std::string> typeIdentifier;
  std::optional<std::string> name;

  // Reads the item `name` inside the open folder `directoryDescriptor`
  // (AT_FDCWD with a whole path works too). None, with *error set, when the
  // item cannot be examined.
  static std::optional<ResourceValues> read(int directoryDescriptor, const char* name, ResourceKeys keys,
                                            Error* error = nullptr);
  // The same for a path.
  static std::optional<ResourceValues> read(const std::string& path, ResourceKeys keys, Error* error = nullptr);
  // The same for a path under users' control: the folder holding the item
  // is opened from the host root without following a link on the way (see
  // TreePath), so a folder swapped for a link above the item cannot send
  // the look elsewhere. The item itself is never followed either.
  static std::optional<ResourceValues> readInTree(const std::string& path, ResourceKeys keys, Error* error = nullptr);
};

}  // namespace vozi::platform
