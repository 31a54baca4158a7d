#include "sanitizers/ApplicationsScanningOperation.h"

#include <algorithm>
#include <cctype>

#include "common/FileItem.h"
#include "common/FileManagerAdditions.h"
#include "common/IconsCache.h"
#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "platform/Bundle.h"
#include "platform/HostRoot.h"
#include "platform/MetadataQuery.h"
#include "platform/PathComponents.h"
#include "platform/PropertyList.h"

namespace vozi {

namespace {

using platform::PathComponents;
using platform::ResourceKeys;

constexpr const char* kLeftoverFolders[] = {
    "Application Support", "Preferences", "LaunchAgents", "LaunchDaemons",
    "PreferencePanes",     "StartupItems", "Saved Application State",
};
constexpr const char* kItemIdentifier = "identifier";
constexpr const char* kFileIdentifier = "fileIdentifier";
// What the Library walk reads of each file: its size and the dates of its
// last use.
constexpr ResourceKeys kLeftoverKeys = ResourceKeys::FileSize | ResourceKeys::ContentAccessDate |
                                       ResourceKeys::AddedToDirectoryDate | ResourceKeys::CreationDate;

bool isBundleName(std::string_view name) {
  const std::string_view extension = ApplicationsScanningOperation::kApplicationBundleExtension;
  return name.size() >= extension.size() && name.substr(name.size() - extension.size()) == extension;
}

// "com.example.app" claims; "com", "com.", ".com" and "com..x" do not: too
// short an identifier would claim other products' files.
bool canClaim(std::string_view identifier) {
  std::size_t parts = 0;
  std::size_t start = 0;
  while (start <= identifier.size()) {
    const std::size_t end = std::min(identifier.find('.', start), identifier.size());
    if (end == start) return false;
    ++parts;
    start = end + 1;
  }
  return parts >= 2;
}

}  // namespace

const std::vector<std::string>& ApplicationsScanningOperation::kSystemApplicationsBundles() {
  static const std::vector<std::string> bundles = {
      "com.apple.safari", "com.apple.mail", "com.apple.addressbook", "com.apple.cal", "com.apple.reminders",
      "com.apple.notes", "com.apple.maps", "com.apple.messages", "com.apple.facetime", "com.apple.photobooth",
      "com.apple.slideshow", "com.apple.gamecenter", "com.apple.mobilestore", "com.apple.ibooks",
      "com.apple.siriviewservice", "com.apple.appstore", "com.apple.preview", "com.apple.dictionary",
      "com.apple.calculator", "com.apple.imovie", "com.apple.activitymonitor", "com.apple.airport.airportutility",
      "com.apple.audio.audiomidisetup", "com.apple.automator", "com.apple.bootcampassistant",
      "com.apple.bluetoothfileexchange", "com.apple.chess", "com.apple.colorsyncutility", "com.apple.console",
      "com.apple.digitalcolormeter", "com.apple.diskutility", "com.apple.disk-utility", "com.apple.dvdplayer",
      "com.apple.fontbook", "com.apple.grab", "com.apple.grapher", "com.apple.imagecapture", "com.apple.ink",
      "com.apple.keychainaccess", "com.apple.quicktimeplayer", "com.apple.scripteditor", "com.apple.widget.stickies",
      "com.apple.systemprofiler", "com.apple.terminal", "com.apple.textedit", "com.apple.voiceoverutility",
      "com.apple.exposelauncher", "com.apple.launchpad.launcher", "com.apple.dashboardlauncher",
      "com.apple.systempreferences", "com.apple.quicktimeplayerx", "com.apple.backup.launcher",
      "com.apple.migrateassistant", "com.apple.image_capture", "com.apple.stickies", "com.apple.photos",
      "com.apple.scripteditor2", "com.apple.itunes", "com.apple.ibooksx", "com.apple.ical", "com.apple.ichat",
      "com.apple.siri.launcher", "com.apple.dt.xcode", "div.ez.iru.zol", "div.ez.iru.vozi",
  };
  return bundles;
}

bool ApplicationsScanningOperation::isSystemApplication(std::string_view bundleIdentifier) {
  const std::string lower = asciiLowercased(bundleIdentifier);
  const auto& bundles = kSystemApplicationsBundles();
  return std::find(bundles.begin(), bundles.end(), lower) != bundles.end();
}

ApplicationsScanningOperation::KnownLeftovers ApplicationsScanningOperation::readKnownLeftovers(
    const std::string& path) {
  auto root = platform::PropertyList::readFile(path);
  if (!root || !root->asDictionary()) return {};
  KnownLeftovers table;
  for (const auto& [name, value] : *root->asDictionary()) {
    const auto* paths = value.asArray();
    if (!paths) return {};
    std::vector<std::string>& entry = table[name];
    for (const auto& each : *paths) {
      const auto* text = each.asString();
      if (!text) return {};
      entry.push_back(*text);
    }
  }
  return table;
}

ApplicationsScanningOperation::ApplicationsScanningOperation(GroupPtr itemGroup, Completion completion,
                                                             ProgressHandler progressHandler,
                                                             std::shared_ptr<IUserAgentLink> userAgentLink,
                                                             Options options)
    : Base(std::move(itemGroup), std::move(completion), std::move(progressHandler)),
      userAgentLink_(std::move(userAgentLink)),
      options_(options) {}

const std::vector<std::string>& ApplicationsScanningOperation::scanningURLs() {
  if (!scanningURLs_) {
    scanningURLs_.emplace();
    if (auto applications = FileManagerAdditions::applicationsDirectory()) scanningURLs_->push_back(std::move(*applications));
    MLog("Applications folders to scan: " + bracketedList(*scanningURLs_));
  }
  return *scanningURLs_;
}

const std::vector<std::string>& ApplicationsScanningOperation::leftoversURLs() {
  if (!leftoversURLs_) {
    std::vector<std::string> roots = {platform::HostRoot::resolve("/Library")};
    if (!userAgentLink_) {
      MLog("No user Library to look for leftovers in: no user agent");
    } else if (auto library = userAgentLink_->libraryDirectory()) {
      roots.push_back(std::move(*library));
    } else {
      MLog("No user Library to look for leftovers in: " + library.error().localizedDescription());
    }
    leftoversURLs_.emplace();
    for (const char* folder : kLeftoverFolders) {
      for (const std::string& root : roots) leftoversURLs_->push_back(PathComponents::appending(root, folder));
    }
  }
  return *leftoversURLs_;
}

const ApplicationsScanningOperation::KnownLeftovers& ApplicationsScanningOperation::knownLeftovers() {
  if (!knownLeftovers_) {
    knownLeftovers_.emplace();
    const auto path = platform::Bundle::main().pathForResource(kKnownLeftoversResource, "plist");
    if (path) {
      // The file names places of the tree; anything but a canonical absolute
      // path is left out rather than guessed at.
      for (auto& [name, paths] : readKnownLeftovers(*path)) {
        std::vector<std::string> resolved;
        for (const std::string& treePath : paths) {
          if (PathComponents::isCanonicalAbsolute(treePath) && treePath != "/") {
            resolved.push_back(platform::HostRoot::resolve(treePath));
          } else {
            MLog("Known leftover of " + name + " is not a full path, left out: " + treePath);
          }
        }
        (*knownLeftovers_)[name] = std::move(resolved);
      }
    }
  }
  return *knownLeftovers_;
}

std::vector<std::string> ApplicationsScanningOperation::scanningRoots() {
  std::vector<std::string> roots = scanningURLs();
  const auto& leftovers = leftoversURLs();
  roots.insert(roots.end(), leftovers.begin(), leftovers.end());
  for (const auto& [name, paths] : knownLeftovers()) roots.insert(roots.end(), paths.begin(), paths.end());
  return roots;
}

std::optional<std::string> ApplicationsScanningOperation::bundleIdentifier(const std::string& bundlePath) {
  if (bundlePath != lastBundlePath_) {
    lastBundlePath_ = bundlePath;
    lastBundleIdentifier_ = ApplicationItem::bundleID(platform::URL::fileURLWithPath(bundlePath, true));
  }
  return lastBundleIdentifier_;
}

FileManagerEnumerationAction ApplicationsScanningOperation::handleSubpath(const std::string& path) {
  const FileManagerEnumerationAction action = Base::handleSubpath(path);
  if (action != FileManagerEnumerationAction::continueEnumeration) return action;
  handleBackgroundScan();
  incrementProgress(1);
  if (!isBundleName(PathComponents::lastComponent(path))) return FileManagerEnumerationAction::continueEnumeration;
  // A link (or a file) named like a bundle is not one.
  if (!platform::FileManager::defaultManager().isDirectory(path)) return FileManagerEnumerationAction::skipPath;
  const auto identifier = bundleIdentifier(path);
  if (identifier && isSystemApplication(*identifier)) return FileManagerEnumerationAction::skipPath;
  return FileManagerEnumerationAction::foundNeeded;
}

void ApplicationsScanningOperation::main() {
  MLog("Start apps scanning operation");
  const FileManager fileManager;
  MLog("leftovers urls " + bracketedList(leftoversURLs()));
  MLog("applications directories " + bracketedList(scanningURLs()));
  MLog("Applications scanning operation calculating duration... paths: " + bracketedList(scanningURLs()) +
       ", leftovers: " + bracketedList(leftoversURLs()));
  const FileManager::Canceller canceller = [this] { return isCancelled(); };
  if (shouldCalculateDuration()) {
    std::vector<std::string> walked = scanningURLs();
    walked.insert(walked.end(), leftoversURLs().begin(), leftoversURLs().end());
    setDuration(fileManager.numberOfPaths(walked, options_, canceller));
  }
  MLog("Applications scanning operation finished calculating duration...");
  knownLeftovers();

  fileManager.enumerate(
      scanningURLs(), ResourceKeys::None, options_,
      [this](const std::string& path, const std::optional<platform::ResourceValues>&) { handleApplication(path); },
      subpathHandler(), {}, canceller);
  findLeftovers(fileManager);

  if (isCancelled()) {
    itemGroup()->removeAll();
    complete(nullptr, true);
    return;
  }
  progressDidFinish();
  complete(itemGroup(), false);
}

void ApplicationsScanningOperation::handleApplication(const std::string& path) {
  if (isCancelled()) return;
  if (!isBundleName(PathComponents::lastComponent(path))) return;
  const platform::URL url = platform::URL::fileURLWithPath(path, true);
  const std::uint64_t size = FileManager::directorySize(path);
  const auto identifier = bundleIdentifier(path);
  std::optional<platform::URL> cachedIcon;
  if (const auto icon = ApplicationItem::iconURL(url); icon && identifier) {
    IconsCache& icons = IconsCache::shared();
    icons.cacheIcon(icon->path(), *identifier, path);
    if (const auto cached = icons.cachedIconForId(*identifier)) cachedIcon = platform::URL::fromString(*cached);
  }
  auto application = std::make_shared<ApplicationItem>(url, size, nullptr, kItemIdentifier, nullptr, nullptr,
                                                       std::move(cachedIcon));
  addKnownLeftovers(*application);
  itemGroup()->addItem(application);
  applications_.push_back(application);
  if (identifier && canClaim(*identifier)) claims_.emplace(*identifier, applications_.size() - 1);
  MLog("Applications scanning operation has added application item: " + application->description());
}

void ApplicationsScanningOperation::addKnownLeftovers(ApplicationItem& application) {
  const auto name = application.name();
  if (!name) return;
  const auto found = knownLeftovers().find(*name);
  if (found == knownLeftovers().end()) return;
  for (const std::string& path : found->second) {
    // Listed leftovers count whether they exist or not; the file's own
    // facts stand in for the search index this platform lacks (no
    // last-used date: the content-modification date is the last use).
    const auto metadata = platform::MetadataItem::atPath(path);
    const std::uint64_t size = metadata && metadata->fileSize ? *metadata->fileSize : 0;
    const auto lastOpen = metadata ? metadata->contentModificationDate : std::nullopt;
    application.addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), size, lastOpen, kFileIdentifier));
  }
}

std::optional<std::size_t> ApplicationsScanningOperation::claimant(std::string_view relativePath) const {
  std::optional<std::size_t> best;
  auto consider = [&](std::string_view candidate) {
    const auto found = claims_.find(candidate);
    if (found != claims_.end() && (!best || found->second < *best)) best = found->second;
  };
  std::size_t start = 0;
  while (start < relativePath.size()) {
    std::size_t end = relativePath.find('/', start);
    if (end == std::string_view::npos) end = relativePath.size();
    const std::string_view component = relativePath.substr(start, end - start);
    // The component itself, and each of its prefixes that a dot follows.
    for (std::size_t dot = component.find('.'); dot != std::string_view::npos; dot = component.find('.', dot + 1))
      consider(component.substr(0, dot));
    if (!component.empty()) consider(component);
    start = end + 1;
  }
  return best;
}

void ApplicationsScanningOperation::findLeftovers(const FileManager& fileManager) {
  MLog("Applications scanning operation started for looking leftovers");
  const FileManager::Canceller canceller = [this] { return isCancelled(); };
  for (const std::string& root : leftoversURLs()) {
    if (isCancelled()) break;
    const std::size_t rootLength = PathComponents::withoutTrailingSlashes(root).size();
    fileManager.enumerate(
        {root}, kLeftoverKeys, options_,
        [&](const std::string& path, const std::optional<platform::ResourceValues>& values) {
          if (isCancelled() || claims_.empty()) return;
          const auto claimed = claimant(std::string_view(path).substr(std::min(rootLength, path.size())));
          if (!claimed) return;
          // Folders have no size: the files inside a claimed one are claimed
          // one by one, and empty files are not worth reporting.
          if (!values || !values->fileSize || *values->fileSize == 0) return;
          const auto& application = applications_[*claimed];
          const auto lastOpen = URLExtensions::lastAccessDate(
              URLExtensions::ResourceDates{values->contentAccessDate, values->addedToDirectoryDate, values->creationDate});
          auto leftover = std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), *values->fileSize, lastOpen,
                                                     kFileIdentifier);
          application->addItem(leftover);
          MLog("found leftover " + leftover->url().absoluteString() + " for application " + application->description());
        },
        subpathHandler(), {}, canceller);
  }
  // The applications were added to the group before these leftovers: its
  // size is theirs again.
  std::uint64_t total = 0;
  for (const auto& application : applications_) total += application->size();
  itemGroup()->setSize(total);
}

}  // namespace vozi
