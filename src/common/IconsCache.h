#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vozi {

// The applications scan's copies of application icons: one folder per bundle
// identifier holding the last icon copied for it, and an index file
// ("com_cache", an XML property list) from identifier to the copy's file URL.
//
// Identifiers and icon paths come from applications' Info.plist files, which
// their owners control, while the cache is written as root: an identifier
// that is not a plain folder name is refused, and an icon is copied only when
// it is a regular file inside its bundle reached without symbolic links.
//
// Public operations are serialised by a lock of the cache's own.
class IconsCache {
 public:
  // The one instance, at "/Library/Application Support/div.ez.iru/iconCache"
  // under the host root. Lives for the process.
  static IconsCache& shared();

  // A cache at the standard place, resolved against the host root on first use.
  IconsCache();
  // A cache in another folder (a host path).
  explicit IconsCache(std::string cacheDirectory);
  IconsCache(const IconsCache&) = delete;
  IconsCache& operator=(const IconsCache&) = delete;

  // Replaces whatever is cached for `identifier` by a copy of the icon file
  // and records the copy in the index; a copy already recorded that is not
  // older than the icon and has its size is kept. `bundlePath` is the application bundle
  // the icon must lie in. Failures are logged, never reported.
  void cacheIcon(const std::string& iconPath, const std::string& identifier, const std::string& bundlePath);

  // The file URL ("file:///...", percent-escaped) recorded for the identifier,
  // or none. Does not look whether the copy still exists.
  std::optional<std::string> cachedIconForId(const std::string& identifier);
  // The same as a host path.
  std::optional<std::string> cachedIconPathForId(const std::string& identifier);

  // Host paths of the cache folder and of its index file.
  std::string cacheDirectory();
  std::string cacheFile();

  // A bundle identifier usable as one folder name: not empty, not "." or
  // "..", no "/" and no NUL.
  static bool isAcceptableIdentifier(std::string_view identifier);

  // File URL text of an absolute path and back (none for anything that is not
  // a file URL of an absolute path).
  static std::string fileURLString(std::string_view path);
  static std::optional<std::string> pathFromFileURLString(std::string_view url);

 private:
  std::string cacheDirectoryLocked();
  std::map<std::string, std::string>& cacheLocked();
  // True when the index records `copyPath` for the identifier and that copy
  // is a regular file of the icon's size, written no earlier than the icon.
  bool isCurrentCopyLocked(const std::string& identifier, const std::string& iconPath, const std::string& copyPath);
  void updateCacheLocked(const std::optional<std::string>& url, const std::string& identifier);

  std::mutex mutex_;
  std::optional<std::string> cacheDirectory_;
  std::optional<std::map<std::string, std::string>> cache_;
};

}  // namespace vozi
