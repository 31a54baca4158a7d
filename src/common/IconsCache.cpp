#include "common/IconsCache.h"

#include <cerrno>
#include <filesystem>
#include <vector>

#include "common/MLog.h"
#include "platform/CheckedOpen.h"
#include "platform/TreePath.h"
#include "platform/HostRoot.h"
#include "platform/ResourceValues.h"
#include "platform/PathComponents.h"
#include "platform/PropertyList.h"
#include "platform/URL.h"
#include "platform/Value.h"

namespace vozi {

namespace fs = std::filesystem;
using platform::FileDescriptor;

namespace {

constexpr const char* kCacheTreePath = "/Library/Application Support/div.ez.iru/iconCache";
constexpr const char* kIndexFileName = "com_cache";

fs::path withoutTrailingSlash(fs::path path) {
  path = path.lexically_normal();
  if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
  return path;
}

// Opens `file` for reading when it is a regular file inside `bundle`,
// walking down from the host root one component at a time without following
// a symbolic link anywhere on the way (the bundle itself included). Nothing
// other than a regular file is ever opened, so a device or a pipe named as an
// icon is never touched. On failure holds none and says why.
FileDescriptor openRegularFileInside(const std::string& bundle, const std::string& file, std::string& why) {
  const fs::path base = withoutTrailingSlash(bundle);
  const fs::path target = withoutTrailingSlash(file);
  if (!base.is_absolute() || !target.is_absolute()) {
    why = "icon file " + file + " or bundle " + bundle + " is not an absolute path";
    return {};
  }
  const fs::path relative = target.lexically_relative(base);
  std::vector<std::string> components;
  for (const auto& component : relative) components.push_back(component.string());
  if (relative.empty() || components.empty() || components.front() == ".." || components.front() == ".") {
    why = "icon file " + file + " is not inside the bundle " + bundle;
    return {};
  }

  using platform::CheckedOpen;
  const CheckedOpen::Expect folder{.kind = CheckedOpen::Kind::folder};
  // The bundle lies in a folder users can write to: it is reached from the
  // host root without a link on the way.
  auto bundleFolder = platform::TreePath::openFolder(base.string());
  if (!bundleFolder) {
    why = "can not open bundle " + bundle + ": " + bundleFolder.error().localizedDescription();
    return {};
  }
  platform::Result<FileDescriptor> directory = std::move(bundleFolder->descriptor);
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    auto next = CheckedOpen::existingIn(*directory, components[i], folder);
    if (!next) {
      why = "can not open folder " + components[i] + " of icon file " + file + ": " +
            next.error().localizedDescription();
      return {};
    }
    directory = std::move(next);
  }
  // Nothing other than a regular file is opened, so a device or a pipe named
  // as an icon is never touched.
  auto icon = CheckedOpen::existingIn(*directory, components.back(), {});
  if (!icon) {
    const auto code = icon.error().code;
    if (code == EISDIR || code == EINVAL || code == ELOOP)
      why = "icon file " + file + " is not a regular file";
    else if (code == EAGAIN)
      why = "icon file " + file + " changed while it was opened";
    else
      why = "can not copy icon file " + file + ": " + icon.error().localizedDescription();
    return {};
  }
  return std::move(*icon);
}

// Copies what `source` holds into a new file at `destination`; a file already
// there (or a link planted there) makes it fail rather than be written through.
bool copyToNewFile(const FileDescriptor& source, const std::string& destination, std::string& why) {
  auto out = platform::CheckedOpen::created(destination, 0644, platform::CheckedOpen::Access::write);
  if (!out) {
    why = "can not create " + destination + ": " + out.error().localizedDescription();
    return false;
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const auto got = source.readSome(buffer.data(), buffer.size());
    if (!got) {
      why = "can not read icon file: " + got.error().localizedDescription();
      break;
    }
    if (*got == 0) break;
    if (auto written = out->write(buffer.data(), *got); !written) {
      why = "can not write " + destination + ": " + written.error().localizedDescription();
      break;
    }
  }
  if (why.empty()) {
    if (auto closed = out->close(); !closed) why = "can not write " + destination + ": " + closed.error().localizedDescription();
  }
  if (!why.empty()) {
    std::error_code ignored;
    fs::remove(destination, ignored);
    return false;
  }
  return true;
}

}  // namespace

IconsCache& IconsCache::shared() {
  static IconsCache* const instance = new IconsCache();
  return *instance;
}

IconsCache::IconsCache() = default;

IconsCache::IconsCache(std::string cacheDirectory) : cacheDirectory_(std::move(cacheDirectory)) {}

bool IconsCache::isAcceptableIdentifier(std::string_view identifier) {
  return platform::PathComponents::isSingleComponent(identifier);
}

std::string IconsCache::fileURLString(std::string_view path) {
  return platform::URL::fileURLWithPath(path).absoluteString();
}

std::optional<std::string> IconsCache::pathFromFileURLString(std::string_view text) {
  // URL parsing refuses other schemes, bad escapes and an encoded NUL.
  const auto url = platform::URL::fromString(text);
  if (!url || !url->isFileURL()) return std::nullopt;
  // The index lies on disk and the paths it names are opened as root, so it
  // takes less than URL parsing does: only "file://" or "file://localhost"
  // before an absolute path with no query, fragment, blank or control
  // character in it.
  std::string_view path = text.substr(text.find(':') + 1);
  if (!path.starts_with("//")) return std::nullopt;
  path.remove_prefix(2);
  if (path.starts_with("localhost")) path.remove_prefix(9);
  if (path.empty() || path.front() != '/') return std::nullopt;
  for (const char c : path)
    if (c == '?' || c == '#' || static_cast<unsigned char>(c) <= 0x20) return std::nullopt;
  // Decoded as it stands: a trailing "/" is kept, unlike URL::path().
  return platform::URL::percentDecode(path);
}

std::string IconsCache::cacheDirectoryLocked() {
  if (!cacheDirectory_) cacheDirectory_ = platform::HostRoot::resolve(kCacheTreePath);
  return *cacheDirectory_;
}

std::string IconsCache::cacheDirectory() {
  std::lock_guard lock(mutex_);
  return cacheDirectoryLocked();
}

std::string IconsCache::cacheFile() {
  std::lock_guard lock(mutex_);
  return (fs::path(cacheDirectoryLocked()) / kIndexFileName).string();
}

std::map<std::string, std::string>& IconsCache::cacheLocked() {
  if (cache_) return *cache_;
  cache_.emplace();
  const std::string file = (fs::path(cacheDirectoryLocked()) / kIndexFileName).string();
  const platform::Result<platform::Value> index = platform::PropertyList::readFile(file);
  if (!index) {
    MLog(index.error().localizedDescription());
    return *cache_;
  }
  const platform::Value::Dictionary* entries = index->asDictionary();
  if (!entries) return *cache_;
  std::map<std::string, std::string> loaded;
  for (const auto& [identifier, url] : *entries) {
    const std::string* text = url.asString();
    if (!text) return *cache_;  // one odd entry discards the whole index
    loaded.emplace(identifier, *text);
  }
  *cache_ = std::move(loaded);
  return *cache_;
}

void IconsCache::updateCacheLocked(const std::optional<std::string>& url, const std::string& identifier) {
  auto& cache = cacheLocked();
  if (url)
    cache[identifier] = *url;
  else
    cache.erase(identifier);
  platform::Value::Dictionary index;
  for (const auto& [key, value] : cache) index.emplace(key, value);
  // Replaced whole, so a crash mid-write cannot leave a torn index behind.
  const platform::Result<void> written =
      platform::PropertyList::writeFile((fs::path(cacheDirectoryLocked()) / kIndexFileName).string(),
                                        platform::Value(std::move(index)), platform::PropertyList::Format::xml);
  if (!written) MLog(written.error().localizedDescription());
}

void IconsCache::cacheIcon(const std::string& iconPath, const std::string& identifier,
                           const std::string& bundlePath) {
  std::lock_guard lock(mutex_);
  if (!isAcceptableIdentifier(identifier)) {
    MLog("refused to cache an icon for the bundle identifier \"" + identifier + "\" of " + bundlePath);
    return;
  }
  const fs::path target = fs::path(cacheDirectoryLocked()) / identifier;
  const fs::path copy = target / withoutTrailingSlash(iconPath).filename();
  // Every scan meets the same icons: one copied before and not changed since
  // is kept as it is.
  if (isCurrentCopyLocked(identifier, iconPath, copy.string())) return;

  // Start from an empty folder; remove_all takes a link planted there away
  // without following it.
  std::error_code error;
  if (fs::symlink_status(target, error).type() != fs::file_type::not_found) {
    fs::remove_all(target, error);
    if (error) {
      MLog(error.message());
      return;
    }
  }
  fs::create_directories(target, error);
  if (error) {
    MLog(error.message());
    return;
  }

  std::string why;
  const FileDescriptor icon = openRegularFileInside(bundlePath, iconPath, why);
  if (!icon) {
    MLog(why);
    return;
  }
  if (!copyToNewFile(icon, copy.string(), why)) {
    MLog(why);
    return;
  }
  updateCacheLocked(fileURLString(copy.string()), identifier);
}

bool IconsCache::isCurrentCopyLocked(const std::string& identifier, const std::string& iconPath,
                                     const std::string& copyPath) {
  const auto& cache = cacheLocked();
  const auto recorded = cache.find(identifier);
  if (recorded == cache.end() || recorded->second != fileURLString(copyPath)) return false;
  using platform::ResourceKeys;
  const auto keys = ResourceKeys::IsRegularFile | ResourceKeys::FileSize | ResourceKeys::ContentModificationDate;
  const auto icon = platform::ResourceValues::readInTree(iconPath, keys);
  const auto cached = platform::ResourceValues::readInTree(copyPath, keys);
  if (!icon || !cached || !icon->isRegularFile.value_or(false) || !cached->isRegularFile.value_or(false)) return false;
  if (icon->fileSize != cached->fileSize || !icon->contentModificationDate || !cached->contentModificationDate)
    return false;
  return cached->contentModificationDate->timeIntervalSince1970() >= icon->contentModificationDate->timeIntervalSince1970();
}

std::optional<std::string> IconsCache::cachedIconForId(const std::string& identifier) {
  std::lock_guard lock(mutex_);
  const auto& cache = cacheLocked();
  auto found = cache.find(identifier);
  if (found == cache.end()) return std::nullopt;
  if (!pathFromFileURLString(found->second)) return std::nullopt;
  return found->second;
}

std::optional<std::string> IconsCache::cachedIconPathForId(const std::string& identifier) {
  auto url = cachedIconForId(identifier);
  if (!url) return std::nullopt;
  return pathFromFileURLString(*url);
}

}  // namespace vozi
