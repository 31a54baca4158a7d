#include "platform/ResourceValues.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/FilePackage.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"
#include "platform/TreePath.h"
#include "platform/UniformType.h"

namespace vozi::platform {

namespace {

Date dateOf(const struct statx_timestamp& stamp) {
  return Date::fromTimeIntervalSince1970(static_cast<double>(stamp.tv_sec) + stamp.tv_nsec / 1e9);
}

// Folders that are documents or programs have a type of their own.
constexpr std::string_view kPackageTypes[][2] = {
    {"app", "com.apple.application-bundle"}, {"framework", "com.apple.framework"},
    {"bundle", "com.apple.bundle"},          {"plugin", "com.apple.plugin"},
    {"rtfd", "com.apple.rtfd"},              {"photoslibrary", "com.apple.photos.library"},
    {"pkg", "com.apple.installer-package-archive"}, {"mpkg", "com.apple.installer-package-archive"},
};

std::string typeIdentifierOf(std::string_view name, mode_t type) {
  if (type == S_IFLNK) return "public.symlink";
  const std::string_view extension = FilePackage::extension(name);
  if (type == S_IFDIR) {
    if (!FilePackage::isPackageExtension(extension)) return UniformType::folder;
    for (const auto& [known, identifier] : kPackageTypes)
      if (known.size() == extension.size() && ::strncasecmp(known.data(), extension.data(), known.size()) == 0)
        return std::string(identifier);
    return "com.apple.package";
  }
  if (type != S_IFREG) return UniformType::item;
  return UniformType::typeIdentifier(extension);
}

}  // namespace

std::optional<ResourceValues> ResourceValues::read(int directoryDescriptor, const char* name, ResourceKeys keys,
                                                   Error* error) {
  unsigned mask = STATX_TYPE;
  if (contains(keys, ResourceKeys::FileSize)) mask |= STATX_SIZE;
  if (contains(keys, ResourceKeys::ContentAccessDate)) mask |= STATX_ATIME;
  if (contains(keys, ResourceKeys::CreationDate)) mask |= STATX_BTIME;
  if (contains(keys, ResourceKeys::ContentModificationDate)) mask |= STATX_MTIME;
  if (contains(keys, ResourceKeys::AddedToDirectoryDate)) mask |= STATX_CTIME;

  struct statx info {};
  if (::statx(directoryDescriptor, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &info) != 0) {
    PosixError::set(error, errno, name);
    return std::nullopt;
  }

  const mode_t type = info.stx_mode & S_IFMT;
  const bool directory = type == S_IFDIR;
  const std::string_view itemName = PathComponents::lastComponent(name);
  ResourceValues values;
  if (contains(keys, ResourceKeys::FileSize) && !directory && (info.stx_mask & STATX_SIZE))
    values.fileSize = info.stx_size;
  if (contains(keys, ResourceKeys::ContentAccessDate) && (info.stx_mask & STATX_ATIME))
    values.contentAccessDate = dateOf(info.stx_atime);
  if (contains(keys, ResourceKeys::CreationDate) && (info.stx_mask & STATX_BTIME))
    values.creationDate = dateOf(info.stx_btime);
  if (contains(keys, ResourceKeys::ContentModificationDate) && (info.stx_mask & STATX_MTIME))
    values.contentModificationDate = dateOf(info.stx_mtime);
  if (contains(keys, ResourceKeys::AddedToDirectoryDate) && (info.stx_mask & STATX_CTIME))
    values.addedToDirectoryDate = dateOf(info.stx_ctime);
  if (contains(keys, ResourceKeys::IsDirectory)) values.isDirectory = directory;
  if (contains(keys, ResourceKeys::IsRegularFile)) values.isRegularFile = type == S_IFREG;
  if (contains(keys, ResourceKeys::IsSymbolicLink)) values.isSymbolicLink = type == S_IFLNK;
  if (contains(keys, ResourceKeys::IsPackage))
    values.isPackage = directory && FilePackage::hasPackageExtension(itemName);
  if (contains(keys, ResourceKeys::IsHidden)) values.isHidden = !itemName.empty() && itemName.front() == '.';
  if (contains(keys, ResourceKeys::TypeIdentifier)) values.typeIdentifier = typeIdentifierOf(itemName, type);
  if (contains(keys, ResourceKeys::Name)) values.name = std::string(itemName);
  return values;
}

std::optional<ResourceValues> ResourceValues::read(const std::string& path, ResourceKeys keys, Error* error) {
  if (path.empty()) {
    PosixError::set(error, ENOENT, path);
    return std::nullopt;
  }
  // A trailing slash would make the system follow a final link.
  const std::string trimmed(PathComponents::withoutTrailingSlashes(path));
  return read(AT_FDCWD, trimmed.c_str(), keys, error);
}

std::optional<ResourceValues> ResourceValues::readInTree(const std::string& path, ResourceKeys keys, Error* error) {
  auto parent = TreePath::openParent(PathComponents::withoutTrailingSlashes(path));
  if (!parent) {
    if (error) *error = parent.error();
    return std::nullopt;
  }
  return read(parent->folder.descriptor.get(), parent->name.c_str(), keys, error);
}

}  // namespace vozi::platform
