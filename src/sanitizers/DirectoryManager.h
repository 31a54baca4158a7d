#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/URL.h"

namespace vozi {

// The well-known places of the machine and of one user: the product's
// support folder, the machine's Library and caches, the applications
// folders, a user's Trash and iPod photo cache, the system logs, "~" in a
// configured path, and whether a path lies in a user's Library. Static
// only; every answer is a host path (or its file URL) under the host root.
//
// Per-user answers take the user's name from the caller (the agent gives
// it). A name that cannot be a path component gives no folders of that
// user and a log line; it is never joined to a path.
class DirectoryManager {
 public:
  DirectoryManager() = delete;

  static constexpr const char* defaultRootHomeDir = "file:///var/root";
  static constexpr const char* defaultUsersDir = "file:///Users";
  static constexpr const char* containersDir = "Containers";
  static constexpr const char* logsDir = "Logs";
  static constexpr const char* containersCacheDir = "/Data/Library/Caches/";
  static constexpr const char* containersLogDir = "/Data/Library/Logs/";
  static constexpr const char* mailDownloads = "/Mail Downloads";
  static constexpr const char* iPodPhotoCache = "/iPod Photo Cache";

  // "/Library/Application Support/div.ez.iru/".
  static platform::URL ZOLApplicationSupport();
  // The machine's caches ("/Library/Caches").
  static std::vector<platform::URL> systemCache();
  // The machine's Library ("/Library").
  static std::vector<platform::URL> library();
  // The system's Library ("/System/Library").
  static std::vector<platform::URL> system();
  // The machine's applications folders, then the user's.
  static std::vector<platform::URL> apps(const std::string& userName);
  // Each of the user's pictures folders with "iPod Photo Cache" appended.
  static std::vector<platform::URL> photoCache(const std::string& userName);
  // The user's Trash folders.
  static std::vector<platform::URL> trash(const std::string& userName);
  // "/var/log", then "/Library/logs" (spelled so).
  static std::vector<platform::URL> systemLogs();

  // True when the fourth component of the URL's tree path (the root being
  // the first) is exactly "Library": "/Users/anna/Library/x" is, while
  // "/Library/Caches/x" and "/Users/anna/library" are not.
  static bool isInUserLibrary(const platform::URL& url);
  // The same for a host path, for walks that meet many.
  static bool isPathInUserLibrary(std::string_view hostPath);
  // Every "~" of the path replaced by the user's home.
  static std::string convertPathToUserDir(const std::string& userName, const std::string& path);
};

}  // namespace vozi
