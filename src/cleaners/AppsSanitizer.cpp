#include "cleaners/AppsSanitizer.h"

#include <algorithm>

#include "common/FileManager.h"
#include "common/FileManagerAdditions.h"
#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "platform/Bundle.h"
#include "platform/DirectoryWalker.h"
#include "platform/FileManager.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/TreePath.h"
#include "platform/TreeRemoval.h"
#include "sanitizers/ApplicationsScanningOperation.h"

namespace vozi {

namespace {

constexpr std::size_t kShortestClaimingName = 3;

std::vector<std::string> applicationFolders(const std::string& userName) {
  std::vector<std::string> folders;
  const auto add = [&folders](const std::string& folder) {
    for (const std::string& each : {folder, platform::PathComponents::appending(folder, "Utilities")}) {
      if (std::find(folders.begin(), folders.end(), each) == folders.end()) folders.push_back(each);
    }
  };
  if (const auto applications = FileManagerAdditions::applicationsDirectory()) add(*applications);
  for (const std::string& own : FileManagerAdditions::usersDomainMaskFor(
           platform::SearchPathDirectory::Applications, platform::FileManager::defaultManager(), userName)) {
    add(own);
  }
  return folders;
}

// True when a component of the path is the name, or the name with an
// extension, in any letter case.
bool namesComponent(std::string_view path, const std::string& lowerName) {
  while (!path.empty()) {
    const auto slash = path.find('/');
    const std::string component = asciiLowercased(path.substr(0, slash));
    if (component == lowerName ||
        (component.size() > lowerName.size() + 1 && component.starts_with(lowerName) &&
         component[lowerName.size()] == '.')) {
      return true;
    }
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return false;
}

}  // namespace

const std::vector<std::string>& AppsSanitizer::SystemApplicationsBundles() {
  // The operations' list without the three it added later.
  static const std::vector<std::string> bundles = [] {
    std::vector<std::string> older;
    for (const std::string& identifier : ApplicationsScanningOperation::kSystemApplicationsBundles()) {
      if (identifier != "com.apple.disk-utility" && identifier != "com.apple.dt.xcode" && identifier != "div.ez.iru.vozi")
        older.push_back(identifier);
    }
    return older;
  }();
  return bundles;
}

AppsSanitizer::AppsSanitizer(std::string userName)
    : Sanitizer(applicationFolders(userName)),
      userName_(std::move(userName)),
      leftoverFolders_(FileManagerAdditions::leftoversDirectories(userName_, platform::FileManager::defaultManager())) {}

const std::optional<std::map<std::string, std::vector<std::string>>>& AppsSanitizer::knownAppDir() {
  if (knownAppDir_) return *knownAppDir_;
  auto& table = knownAppDir_.emplace();
  const auto path = platform::Bundle::main().pathForResource(ApplicationsScanningOperation::kKnownLeftoversResource, "plist");
  if (!path) return table;
  const auto home = FileManagerAdditions::userHomeDirectory(userName_, platform::FileManager::defaultManager());
  auto& resolved = table.emplace();
  for (const auto& [name, places] : ApplicationsScanningOperation::readKnownLeftovers(*path)) {
    for (const std::string& place : places) {
      // "~" is the user's home in the tree; anything else a full tree path.
      std::string treePath = place;
      if (place.starts_with("~")) {
        if (!home) continue;
        treePath = platform::HostRoot::unresolve(*home) + place.substr(1);
      }
      if (!platform::PathComponents::isCanonicalAbsolute(treePath)) {
        MLog("Known leftover of " + name + " is not a full path, left out: " + place);
        continue;
      }
      resolved[name].push_back(platform::HostRoot::resolve(treePath));
    }
  }
  return table;
}

std::optional<std::string> AppsSanitizer::checkFileIsRelevantToApps(const std::string& path, std::string_view belowFolder) {
  std::optional<std::string> result;
  if (const auto& table = knownAppDir(); table) {
    for (const auto& [name, places] : *table) {
      for (const std::string& place : places) {
        if (platform::PathComponents::isSameOrInside(path, place)) result = name;
      }
    }
    if (result) return result;
  }
  for (const std::string& name : unknownAppList_) {
    if (name.size() < kShortestClaimingName) continue;
    if (namesComponent(belowFolder, asciiLowercased(name))) result = name;
  }
  return result;
}

void AppsSanitizer::scanAppsFilesOnDisk() {
  if (installedApps.empty()) return;
  if (const auto& table = knownAppDir(); table) {
    for (const Application& application : installedApps) {
      if (application.name && !table->contains(*application.name)) unknownAppList_.push_back(*application.name);
    }
  }
  for (const std::string& folder : leftoverFolders_) {
    platform::DirectoryWalker::walk(folder, platform::DirectoryEnumerationOptions::None,
                                    [&](const platform::DirectoryWalker::Entry& entry) {
                                      const auto name = checkFileIsRelevantToApps(entry.path(), entry.relativePath());
                                      if (!name) return platform::WalkAction::Continue;
                                      std::uint64_t bytes = 0;
                                      if (!entry.isDirectory()) {
                                        const auto values = entry.resourceValues(platform::ResourceKeys::FileSize);
                                        bytes = values ? values->fileSize.value_or(0) : 0;
                                      }
                                      for (Application& application : installedApps) {
                                        if (application.name != name) continue;
                                        application.urls.push_back(platform::URL::fileURLWithPath(entry.path()));
                                        application.size += bytes;
                                        break;
                                      }
                                      return platform::WalkAction::Continue;
                                    });
  }
}

std::pair<std::uint64_t, std::vector<std::shared_ptr<Application>>> AppsSanitizer::apps(
    const platform::DispatchWorkItem& dispatchWorkItem) {
  installedApps.clear();
  unknownAppList_.clear();
  const auto& fileManager = platform::FileManager::defaultManager();
  for (const std::string& folder : dirs()) {
    platform::Error error;
    const auto names = fileManager.contentsOfDirectory(folder, &error);
    if (!names) {
      MLogf("Error to read contents of dir, %@", folder);
      continue;
    }
    for (const std::string& entry : *names) {
      if (entry.starts_with(".") || !entry.ends_with(appBundleExtension)) continue;
      const std::string bundle = platform::PathComponents::appending(folder, entry);
      // A link is never a bundle.
      if (!fileManager.isDirectory(bundle)) continue;
      Application application(platform::URL::fileURLWithPath(bundle, true));
      const std::string identifier = asciiLowercased(application.bundleId);
      MLog(identifier);
      const auto& system = SystemApplicationsBundles();
      if (std::find(system.begin(), system.end(), identifier) != system.end()) continue;
      if (std::find(installedApps.begin(), installedApps.end(), application) == installedApps.end())
        installedApps.push_back(std::move(application));
    }
  }
  if (installedApps.empty() || dispatchWorkItem.isCancelled()) return {};
  scanAppsFilesOnDisk();
  if (dispatchWorkItem.isCancelled()) return {};
  std::pair<std::uint64_t, std::vector<std::shared_ptr<Application>>> found;
  for (const Application& application : installedApps) {
    found.first += application.size;
    found.second.push_back(std::make_shared<Application>(application));
  }
  return found;
}

bool AppsSanitizer::isRemovable(const std::string& path, bool bundle) const {
  if (bundle) {
    for (const std::string& folder : dirs()) {
      if (platform::PathComponents::isInside(path, folder) &&
          path.find('/', folder.size() + 1) == std::string::npos && path.ends_with(appBundleExtension)) {
        return true;
      }
    }
    return false;
  }
  for (const std::string& folder : leftoverFolders_) {
    if (platform::PathComponents::isInside(path, folder)) return true;
  }
  if (knownAppDir_ && *knownAppDir_) {
    for (const auto& [name, places] : **knownAppDir_) {
      for (const std::string& place : places) {
        if (platform::PathComponents::isSameOrInside(path, place)) return true;
      }
    }
  }
  return false;
}

std::pair<std::uint64_t, std::vector<Application>> AppsSanitizer::purge(const Sizes& what,
                                                                        const std::vector<Application>& found,
                                                                        const platform::DispatchWorkItem&) {
  std::pair<std::uint64_t, std::vector<Application>> removed;
  const bool moveToTrash = preferences && preferences->shouldMoveDeletedToTrash();
  MLog("Applications to purge: " + describe(what));
  MLog("existing applications: " + std::to_string(found.size()));
  knownAppDir();
  const auto home = FileManagerAdditions::userHomeDirectory(userName_, platform::FileManager::defaultManager());
  const std::optional<std::string> trash =
      home ? std::optional(platform::PathComponents::appending(*home, ".Trash")) : std::nullopt;
  for (const auto& [key, size] : what) {
    MLog("--> uninstall " + key);
    bool handled = false;
    for (const Application& application : found) {
      if (application.name != key) continue;
      handled = true;
      const auto remove = [&](const std::string& path) -> std::optional<std::uint64_t> {
        const bool bundle = path == platform::PathComponents::withoutTrailingSlashes(application.path.path());
        if (!isRemovable(path, bundle)) {
          MLog("Not the application's to remove, left alone: " + path);
          return std::nullopt;
        }
        if (moveToTrash) {
          const std::uint64_t bytes = FileManager::directorySize(path);
          if (!trash || !platform::FileManager::defaultManager().trashItem(path, *trash)) return std::nullopt;
          return bytes;
        }
        const auto gone = platform::TreeRemoval::removeItem(path);
        if (!gone) return std::nullopt;
        return gone->bytes;
      };
      const auto removal = application.purge(remove);
      if (!removal.bundleGone) continue;
      removed.first += removal.bytes;
      removed.second.push_back(application);
    }
    if (!handled) MLogf("Application %@ not found", key);
  }
  return removed;
}

std::unique_ptr<AppsLeftoversSanitizer> AppsLeftoversSanitizer::make(const std::string& userName) {
  if (userName.empty()) return nullptr;
  return std::make_unique<AppsLeftoversSanitizer>(std::vector<std::string>{});
}

}  // namespace vozi
