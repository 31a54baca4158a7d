#include "sanitizers/FolderSanitizers.h"

#include "common/FileManagerAdditions.h"
#include "sanitizers/DirectoryManager.h"

namespace vozi {

namespace {

std::vector<std::string> pathsOf(const std::vector<platform::URL>& urls) {
  std::vector<std::string> paths;
  for (const platform::URL& url : urls) paths.push_back(url.path());
  return paths;
}

template <typename S>
std::unique_ptr<S> forUser(const std::string& userName, std::vector<std::string> (*folders)(const std::string&)) {
  if (userName.empty()) return nullptr;
  return std::unique_ptr<S>(new S(folders(userName)));
}

std::vector<std::string> temporaryOf(const std::string& userName) { return FileManagerAdditions::temporary(userName); }
std::vector<std::string> photoCacheOf(const std::string& userName) {
  return pathsOf(DirectoryManager::photoCache(userName));
}

}  // namespace

SystemCacheSanitizer::SystemCacheSanitizer()
    : Sanitizer(platform::FileManager::defaultManager().urls(platform::SearchPathDirectory::Caches,
                                                             platform::SearchPathDomainMask::Local)) {}

SystemLogsSanitizer::SystemLogsSanitizer() : Sanitizer(pathsOf(DirectoryManager::systemLogs())) {}

std::unique_ptr<TempFilesSanitizer> TempFilesSanitizer::make(const std::string& userName) {
  return forUser<TempFilesSanitizer>(userName, &temporaryOf);
}

std::unique_ptr<UserLogsSanitizer> UserLogsSanitizer::make(const std::string& userName) {
  return forUser<UserLogsSanitizer>(userName, &FileManagerAdditions::userLogsPaths);
}

std::unique_ptr<UserCacheSanitizer> UserCacheSanitizer::make(const std::string& userName) {
  return forUser<UserCacheSanitizer>(userName, &FileManagerAdditions::usersCache);
}

std::unique_ptr<PhotosCacheSanitizer> PhotosCacheSanitizer::make(const std::string& userName) {
  return forUser<PhotosCacheSanitizer>(userName, &photoCacheOf);
}

}  // namespace vozi
