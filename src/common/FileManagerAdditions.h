#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/FileManager.h"
#include "platform/FileSystemLayout.h"

namespace vozi {

// Finds the folders of one user and of the machine: Library, caches, logs,
// leftovers, mail downloads, temporary folders. Paths are host paths under
// the host root. The user is named by the caller (the user being cleaned);
// a name that cannot be a path component gives no folders of that user.
//
// Which account the process runs as matters (platform::ProcessUser): as
// "root" the user-domain folders are the named user's; as anyone else they
// are the process user's own, whatever name is passed.
class FileManagerAdditions {
 public:
  static constexpr const char* kTemporaryPath = "/tmp";
  static constexpr const char* kSystemPath = "/System";
  static constexpr const char* kContainersFolder = "Containers";
  static constexpr const char* kContainerLogsSuffix = "/Data/Library/Logs/";
  static constexpr const char* kContainerCachesSuffix = "/Data/Library/Caches/";
  static constexpr const char* kLogsFolder = "Logs";
  static constexpr const char* kMailDownloads = "/Mail Downloads";

  // Of the given file manager (the shared one by default).
  static std::optional<std::string> applicationsDirectory(
      const platform::FileManager& fileManager = platform::FileManager::defaultManager());
  static std::optional<std::string> libraryDirectory(
      const platform::FileManager& fileManager = platform::FileManager::defaultManager());
  static std::string systemDirectory();
  static std::vector<std::string> cachesDirectories(
      const platform::FileManager& fileManager = platform::FileManager::defaultManager());

  // "/Users/<name>" ("/var/root" for root); none for an unusable name.
  static std::optional<std::string> userHomeDirectory(const std::string& userName,
                                                      const platform::FileManager& fileManager);
  // The user-domain folders of a kind, for the named user when the process
  // runs as root (the super-user's own folders rewritten onto the user's
  // home), else the process user's own.
  static std::vector<std::string> usersDomainMaskFor(platform::SearchPathDirectory directory,
                                                     const platform::FileManager& fileManager,
                                                     const std::string& userName);
  static std::vector<std::string> usersLibrary(const std::string& userName);
  // The same 14 folders as FileManager::leftoversDirs.
  static std::vector<std::string> leftoversDirectories(const std::string& userName,
                                                       const platform::FileManager& fileManager);
  // The log folders of the user's application containers, then
  // Library/Logs; empty without a Library.
  static std::vector<std::string> userLogsPaths(const std::string& userName);
  static std::vector<std::string> userLogsPathsForLibrary(const std::string& library);
  // The cache folders of the user's application containers, then the
  // user-domain Caches folders; each folder once.
  static std::vector<std::string> usersCache(const std::string& userName);
  // Library + "/Mail Downloads"; empty without a Library.
  static std::vector<std::string> usersMailAttachment(const std::string& userName);
  // The user's home + "/tmp".
  static std::optional<std::string> userTemporary(const std::string& userName);
  // The user's temporary folder when a name is given, then the machine's.
  static std::vector<std::string> temporary(const std::optional<std::string>& userName);
  // Where the "/tmp" link leads, inside the tree: only the layout's link
  // ("private/tmp", owned by root or the tree's owner) to a folder reached
  // without any other link. None (and a line on the standard error) when
  // there is no such link; a log line too when a link is refused.
  static std::optional<std::string> globalTemporary();
  // The process's temporary folder (NSTemporaryDirectory) when it opens as
  // a folder; the layout's "/tmp" link stands for its destination, so the
  // same folder never goes by two names.
  static std::optional<std::string> processTemporary();
  // What the temporary-files scan walks: the process's folder, then the
  // machine's; a folder inside (or the same as) another one is left out.
  static std::vector<std::string> temporaryFilesScanningFolders();
  // Folders below url whose path, with a slash added, ends with suffix, in
  // walk order; packages and links are not entered, and the inside of a
  // folder found is not searched again.
  static std::vector<std::string> findDirs(const platform::FileManager& fileManager, const std::string& url,
                                           const std::string& suffix);
};

}  // namespace vozi
