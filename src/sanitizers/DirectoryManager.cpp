#include "sanitizers/DirectoryManager.h"

#include "common/FileManagerAdditions.h"
#include "common/MLog.h"
#include "platform/FileManager.h"
#include "platform/FileSystemLayout.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"

namespace vozi {

namespace {

using platform::SearchPathDirectory;
using platform::SearchPathDomainMask;
using platform::URL;

constexpr const char* kSupportFolder = "div.ez.iru/";
constexpr const char* kSystemLogsDirectories[] = {"/var/log", "/Library/logs"};
constexpr std::size_t kLibraryComponent = 3;

std::vector<URL> fileURLs(const std::vector<std::string>& paths) {
  std::vector<URL> urls;
  urls.reserve(paths.size());
  for (const std::string& path : paths) urls.push_back(URL::fileURLWithPath(path, true));
  return urls;
}

std::vector<URL> machineFolders(SearchPathDirectory directory, SearchPathDomainMask domain) {
  return fileURLs(platform::FileManager::defaultManager().urls(directory, domain));
}

bool isUsableUserName(const std::string& userName, const char* asked) {
  if (platform::FileSystemLayout::isValidUserName(userName)) return true;
  MLog(std::string("DirectoryManager: no ") + asked + " for a user name that cannot be a folder name");
  return false;
}

// The user's folders of a kind; none for an unusable name.
std::vector<URL> userFolders(const std::string& userName, SearchPathDirectory directory, const char* asked) {
  if (!isUsableUserName(userName, asked)) return {};
  return fileURLs(
      FileManagerAdditions::usersDomainMaskFor(directory, platform::FileManager::defaultManager(), userName));
}

}  // namespace

URL DirectoryManager::ZOLApplicationSupport() {
  const auto folders =
      platform::FileManager::defaultManager().urls(SearchPathDirectory::ApplicationSupport, SearchPathDomainMask::Local);
  // The platform always names the machine's folder; the layout's own place
  // stands in should it not.
  const std::string base = folders.empty() ? platform::HostRoot::resolve("/Library/Application Support") : folders.front();
  return URL::fileURLWithPath(base, true).appendingPathComponent(kSupportFolder, true);
}

std::vector<URL> DirectoryManager::systemCache() {
  return machineFolders(SearchPathDirectory::Caches, SearchPathDomainMask::Local);
}

std::vector<URL> DirectoryManager::library() {
  return machineFolders(SearchPathDirectory::Library, SearchPathDomainMask::Local);
}

std::vector<URL> DirectoryManager::system() {
  return machineFolders(SearchPathDirectory::Library, SearchPathDomainMask::System);
}

std::vector<URL> DirectoryManager::apps(const std::string& userName) {
  std::vector<URL> folders = machineFolders(SearchPathDirectory::Applications, SearchPathDomainMask::Local);
  for (URL& folder : userFolders(userName, SearchPathDirectory::Applications, "applications folders"))
    folders.push_back(std::move(folder));
  return folders;
}

std::vector<URL> DirectoryManager::photoCache(const std::string& userName) {
  std::vector<URL> folders;
  for (const URL& pictures : userFolders(userName, SearchPathDirectory::Pictures, "photo cache"))
    folders.push_back(URL::fileURLWithPath(pictures.path() + iPodPhotoCache, true));
  return folders;
}

std::vector<URL> DirectoryManager::trash(const std::string& userName) {
  return userFolders(userName, SearchPathDirectory::Trash, "Trash");
}

std::vector<URL> DirectoryManager::systemLogs() {
  std::vector<URL> folders;
  for (const char* folder : kSystemLogsDirectories)
    folders.push_back(URL::fileURLWithPath(platform::HostRoot::resolve(folder), true));
  return folders;
}

bool DirectoryManager::isInUserLibrary(const URL& url) { return isPathInUserLibrary(url.path()); }

bool DirectoryManager::isPathInUserLibrary(std::string_view hostPath) {
  // Components of the tree path, the root ("/") first.
  const std::string treePath = platform::HostRoot::unresolve(hostPath);
  if (treePath.empty() || treePath.front() != '/') return false;
  std::size_t index = 0;  // the root
  std::size_t start = 1;
  while (start <= treePath.size()) {
    std::size_t end = treePath.find('/', start);
    if (end == std::string::npos) end = treePath.size();
    if (end > start) {
      ++index;
      if (index == kLibraryComponent) return std::string_view(treePath).substr(start, end - start) == "Library";
    }
    start = end + 1;
  }
  return false;
}

std::string DirectoryManager::convertPathToUserDir(const std::string& userName, const std::string& path) {
  if (path.find('~') == std::string::npos) return path;
  if (!isUsableUserName(userName, "home")) return path;
  const auto home = FileManagerAdditions::userHomeDirectory(userName, platform::FileManager::defaultManager());
  if (!home) return path;
  std::string converted;
  converted.reserve(path.size() + home->size());
  for (const char c : path) {
    if (c == '~')
      converted += *home;
    else
      converted += c;
  }
  return converted;
}

}  // namespace vozi
