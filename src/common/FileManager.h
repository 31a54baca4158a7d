#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/DirectoryWalker.h"
#include "platform/Error.h"
#include "platform/FileManager.h"
#include "platform/ResourceValues.h"

namespace vozi {

// The answer of a subpath handler for one item met by the steerable walk.
enum class FileManagerEnumerationAction {
  continueEnumeration = 0,  // report it and, for a folder, enter it
  skipPath = 1,             // neither report nor enter it
  foundNeeded = 2,          // report it, but do not enter a folder
};

// The walks, sizes, tests and listings every scan shares, on top of the
// platform file manager. Paths are host paths. No walk ever goes through a
// symbolic link: a link is met, reported and sized as the link itself.
// Each root is opened from the host root one component at a time
// (platform::TreePath): a root with a link on the way to it (other than the
// layout's own, such as "/tmp") is not walked; it gives a log line naming
// it and goes to the error handler, where there is one.
// All operations run on the caller's thread and call their handlers there,
// in walk order.
class FileManager : public platform::FileManager {
 public:
  using Keys = platform::ResourceKeys;
  using Options = platform::DirectoryEnumerationOptions;
  // Gets an item's path and, when keys were asked for and could be read,
  // its values.
  using FileHandler = std::function<void(const std::string& url, const std::optional<platform::ResourceValues>& values)>;
  using SubpathHandler = std::function<FileManagerEnumerationAction(const std::string& url)>;
  // Gets the path of a folder that cannot be listed and the error; true
  // goes on with the rest of that root, false leaves the root.
  using ErrorHandler = std::function<bool(const std::string& url, const platform::Error& error)>;
  // Polled before each item of the steerable walk; true stops.
  using Canceller = std::function<bool()>;

  static constexpr const char* plistFileExtension = "plist";
  static constexpr const char* bashScriptExtension = "sh";
  static constexpr const char* photoslibraryFileExtension = "photoslibrary";

  static FileManager& defaultManager();

  // Plain walk: for each root in order, a root that is not a folder (a
  // file, a link) is reported itself; a missing root reports nothing; a
  // folder's items are all reported, deep, each folder before its
  // contents, as the options allow. The root folder is not reported.
  void enumerate(const std::vector<std::string>& directories, Keys keys, Options options,
                 const FileHandler& fileHandler, const ErrorHandler& errorHandler = {}) const;

  // Steerable walk: roots as above; inside a folder, for each entry: the
  // canceller (true ends this folder; each enclosing folder asks again
  // before its next entry), then the subpath handler, then the report (a
  // folder without values), then the descent unless the answer was
  // foundNeeded or the entry is a package and the options skip packages.
  void enumerate(const std::vector<std::string>& directories, Keys keys, Options options,
                 const FileHandler& fileHandler, const SubpathHandler& subpathHandler,
                 const ErrorHandler& errorHandler = {}, const Canceller& canceller = {}) const;

  // The number of items the steerable walk reports under the roots.
  std::uint64_t numberOfPaths(const std::vector<std::string>& urls, Options options,
                              const Canceller& canceller = {}) const;

  // True when an item of any kind stands at the path. The flag is not
  // looked at; it is kept for callers that pass one.
  bool isFileExists(const std::string& path) const { return fileExists(path); }
  bool isFileExists(const std::string& path, bool /*isDirectory*/) const { return fileExists(path); }
  // True when the folder lists nothing or cannot be listed.
  bool isDirectoryEmpty(const std::string& path) const;
  // The names in a folder, hidden ones included; none when nothing stands
  // at the path, none and a log line when it cannot be listed.
  std::optional<std::vector<std::string>> contentOfDirectory(const std::string& path) const;
  // Only the names whose lower-cased form ends with filesExtension.
  std::optional<std::vector<std::string>> contentOfDirectory(const std::string& path,
                                                             const std::string& filesExtension) const;
  // Creates the folder and the missing ones above it when nothing stands
  // at the path; logs a failure.
  void createDirectoriesIfNotExist(const std::string& path) const;
  // For each folder in order, everything below it as paths relative to it.
  std::vector<std::string> filesAt(const std::vector<std::string>& paths) const;
  // True for a path inside the Users folder (not the folder itself) that
  // is not inside the process user's home, compared by whole components.
  bool isFileInOtherUserSpace(const std::string& path) const;

  // Total logical size of everything under the path (a file: its size).
  static std::uint64_t directorySize(const std::string& url);
  // "settings" -> "settings.plist"; a name ending with "plist" stays.
  static std::string addPlistExtensionIfNeeded(const std::string& name);
  // A user's home; none for a name that cannot be a path component.
  static std::optional<std::string> getUserHomeDir(const std::string& userName);
  // The same, asking the given file manager for the Users folder.
  static std::optional<std::string> homeDirectory(const std::string& userName, const platform::FileManager& fileManager);
  // The 14 folders where leftovers of removed applications are looked for:
  // for each of "Application Support", "Preferences", "LaunchAgents",
  // "LaunchDaemons", "PreferencePanes", "StartupItems", "Saved Application
  // State", the machine's folder in /Library, then the user's. Empty for a
  // name that cannot be a path component.
  static std::vector<std::string> leftoversDirs(const std::string& userName);
  static std::vector<std::string> leftoversDirs(const std::string& userName, const platform::FileManager& fileManager);
};

}  // namespace vozi
