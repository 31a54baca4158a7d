#include "photos/PhotosDBCleaner.h"

#include <atomic>
#include <map>

#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "photos/PhotosControl.h"
#include "photos/PhotosNewDBCleaner.h"
#include "photos/PhotosOldDBCleaner.h"
#include "platform/CheckedOpen.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/FileManager.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"
#include "platform/TreePath.h"
#include "platform/TreeRemoval.h"
#include "sanitizers/AdditionalUpdates.h"

namespace vozi {

namespace {

std::atomic<std::chrono::milliseconds::rep> openDelay{PhotosDBCleaner::kDefaultOpenDelay.count()};
std::atomic<std::chrono::milliseconds::rep> busyTimeout{platform::SQLiteConnection::kDefaultBusyTimeout.count()};

// "[\"a\", \"b\"]", as the entry's log lines write lists.
std::string quotedList(const std::vector<std::string>& items) {
  std::vector<std::string> quoted;
  quoted.reserve(items.size());
  for (const std::string& item : items) quoted.push_back("\"" + item + "\"");
  return bracketedList(quoted);
}

}  // namespace

PhotosDBCleaner::PhotosDBCleaner(std::string photoLibraryPath, std::vector<std::string> duplicatesPaths,
                                 bool start, bool finish)
    : requireAdditionActionOnCleaningStart(start),
      requireAdditionActionOnCleaningFinish(finish),
      photoLibraryPath_(platform::PathComponents::withoutTrailingSlashes(photoLibraryPath)),
      duplicatesPaths_(std::move(duplicatesPaths)) {}

PhotosDBCleaner::~PhotosDBCleaner() = default;

void PhotosDBCleaner::setOpenDelay(std::chrono::milliseconds delay) { openDelay = delay.count(); }
void PhotosDBCleaner::setBusyTimeout(std::chrono::milliseconds timeout) { busyTimeout = timeout.count(); }

platform::Result<std::vector<std::string>> PhotosDBCleaner::startClean() {
  beforeStart();
  auto cleaned = [&]() -> platform::Result<std::vector<std::string>> {
    if (auto opened = createConnection(); !opened) return opened.error();
    return cleanDatabases();
  }();
  // Whatever happened, the library is let go and Photos comes back.
  dbConnection.reset();
  cleanIsFinished();
  return cleaned;
}

std::unique_ptr<PhotosDBCleaner> PhotosDBCleaner::dbCleaner(const std::string& photoLibraryPath,
                                                            std::vector<std::string> duplicatesPaths, bool start,
                                                            bool finish) {
  if (platform::FileManager::defaultManager().fileExists(photoLibraryPath + PhotosNewDBCleaner::kLibraryDBPath)) {
    return std::make_unique<PhotosNewDBCleaner>(photoLibraryPath, std::move(duplicatesPaths), start, finish);
  }
  return std::make_unique<PhotosOldDBCleaner>(photoLibraryPath, std::move(duplicatesPaths), start, finish);
}

bool PhotosDBCleaner::photosRunning(const std::string& library) {
  const auto folder = platform::TreePath::openFolder(library);
  return PhotosControl::shared()->isRunning(library, folder ? folder->owner : 0);
}

std::optional<std::string> PhotosDBCleaner::libraryRoot(const std::string& path) {
  // Read in the tree, so that the host root's own name cannot count.
  const std::string tree = platform::HostRoot::unresolve(path);
  for (std::size_t end = tree.find('/', 1);; end = tree.find('/', end + 1)) {
    const std::string candidate = tree.substr(0, end);
    const std::string_view name = platform::PathComponents::lastComponent(candidate);
    if (name.size() > kLibraryExtension.size() && name.ends_with(kLibraryExtension)) {
      const std::string host = platform::HostRoot::resolve(candidate);
      // A link in the bundle's place, or on the way, is no library here.
      if (!platform::TreePath::openFolder(host)) return std::nullopt;
      return host;
    }
    if (end == std::string::npos) return std::nullopt;
  }
}

void PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(const std::vector<std::string>& photosPaths,
                                                            std::optional<bool> photosWasRunning) {
  MLog("--> enter remove additional info for photos");
  if (photosPaths.empty()) {
    MLog("--> returning from additional info for photos");
    return;
  }
  std::vector<std::string> libraryFiles;
  for (const std::string& path : photosPaths) {
    if (path.find("photoslibrary") != std::string::npos) libraryFiles.push_back(path);
  }
  MLog("--> photosLibrariesFiles " + quotedList(libraryFiles));
  // Each library with its own files, those that are gone.
  std::map<std::string, std::vector<std::string>> libraries;
  const auto& fileManager = platform::FileManager::defaultManager();
  for (const std::string& path : libraryFiles) {
    const auto root = libraryRoot(path);
    if (!root) {
      MLog("Not in a Photos library that can be repaired: " + path);
      continue;
    }
    if (fileManager.fileExists(path)) {
      MLog("Still on disk, its records are kept: " + path);
      continue;
    }
    libraries[*root].push_back(path);
  }
  std::vector<std::string> roots;
  for (const auto& [root, paths] : libraries) roots.push_back(root);
  MLog("--> librariesPaths Set(" + quotedList(roots) + ")");
  if (libraries.empty()) return;

  MLog("--> started removing additional files");
  std::vector<std::pair<std::string, std::string>> extraFiles;  // (library, path)
  for (const auto& [root, paths] : libraries) {
    const bool running = photosWasRunning.value_or(photosRunning(root));
    const auto cleaner = dbCleaner(root, paths, running, running);
    auto extra = cleaner->startClean();
    if (!extra) {
      MLog("Error on cleaning photos library duplicates");
      MLog("Photos library " + root + " left as it was: " + extra.error().localizedDescription());
      continue;
    }
    for (std::string& path : *extra) extraFiles.emplace_back(root, std::move(path));
  }
  for (const auto& [root, path] : extraFiles) {
    const std::string normal = platform::PathComponents::normalized(path);
    // Only what lies inside its own bundle, never its databases.
    if (!platform::PathComponents::isInside(normal, root) ||
        platform::PathComponents::isSameOrInside(normal, root + "/database")) {
      MLog("Error on removing additional file for photos library:outside its library: " + path);
      continue;
    }
    // A file named twice, or never made, is no failure.
    const auto gone = platform::TreeRemoval::removeItem(normal);
    if (!gone && gone.error().code != ENOENT) {
      MLog("Error on removing additional file for photos library:" + gone.error().localizedDescription());
    }
  }
  MLog("--> exited remove additional info for photos");
}

void PhotosDBCleaner::registerRepairHook() {
  AdditionalUpdates::setPhotosRepairHook(
      [](const std::vector<std::string>& paths, std::optional<bool> photosWasRunning) {
        removeAdditionalInfoForPhotosIfNeeded(paths, photosWasRunning);
      });
}

void PhotosDBCleaner::beforeStart() {
  const auto folder = platform::TreePath::openFolder(photoLibraryPath_);
  owner_ = folder ? folder->owner : 0;
  const auto control = PhotosControl::shared();
  if (requireAdditionActionOnCleaningStart) {
    control->quit(photoLibraryPath_, owner_);
    const auto removed =
        platform::TreeRemoval::removeItem(photoLibraryPath_ + "/private/com.apple.Photos/appPrivateData.plist");
    if (!removed) MLog("error on removing appPrivateData.plist " + removed.error().localizedDescription());
  }
  control->releaseLibrary(photoLibraryPath_, owner_);
}

platform::Result<void> PhotosDBCleaner::createConnection() {
  const auto queue = platform::DispatchQueue::concurrent(kQueueLabel, platform::QualityOfService::background);
  std::optional<platform::Error> failure;
  const auto openStep = [this, &failure] {
    dbConnection.reset();
    MLog("open Photos database " + photoLibraryPath_ + libraryDBPath + " on " + platform::DispatchQueue::currentLabel());
    auto opened = openDatabase(libraryDBPath);
    if (opened) {
      dbConnection = std::move(*opened);
    } else {
      failure = opened.error();
    }
  };
  if (requireAdditionActionOnCleaningStart) {
    platform::DispatchSemaphore done;
    queue->asyncAfter(std::chrono::milliseconds(openDelay.load()), [&] {
      openStep();
      done.signal();
    });
    done.wait();
  } else {
    openStep();
  }
  if (failure) return *failure;
  return {};
}

void PhotosDBCleaner::cleanIsFinished() {
  if (requireAdditionActionOnCleaningFinish) PhotosControl::shared()->relaunch(photoLibraryPath_, owner_);
}

platform::Result<std::unique_ptr<platform::SQLiteConnection>> PhotosDBCleaner::openDatabase(
    const std::string& relativePath) const {
  // "/database/photos.db": the folder and the file, each checked.
  const std::string_view relative = std::string_view(relativePath).substr(1);
  const auto slash = relative.rfind('/');
  const std::string folderPart(relative.substr(0, slash == std::string_view::npos ? 0 : slash));
  const std::string name(relative.substr(slash == std::string_view::npos ? 0 : slash + 1));
  auto bundle = platform::TreePath::openFolder(photoLibraryPath_);
  if (!bundle) return bundle.error();
  auto folder = platform::TreePath::openFolderBelow(bundle->descriptor.get(), folderPart);
  if (!folder) return folder.error();
  platform::CheckedOpen::Expect expect;
  expect.access = platform::CheckedOpen::Access::readWrite;
  expect.owner = bundle->owner;
  expect.linkCount = 1;
  const std::string path = photoLibraryPath_ + relativePath;
  if (auto checked = platform::CheckedOpen::existingIn(folder->get(), name, expect, path); !checked) {
    return checked.error();
  }
  return platform::SQLiteConnection::open(path, std::chrono::milliseconds(busyTimeout.load()));
}

std::vector<std::string> PhotosDBCleaner::relativeMasterPaths() const {
  std::vector<std::string> relative;
  for (const std::string& path : duplicatesPaths_) {
    const auto at = path.find(kMastersComponent);
    if (at == std::string::npos) continue;
    std::string rest = path.substr(at + kMastersComponent.size());
    for (auto space = rest.find("%20"); space != std::string::npos; space = rest.find("%20", space + 1)) {
      rest.replace(space, 3, " ");
    }
    relative.push_back(std::move(rest));
  }
  return relative;
}

platform::Result<void> PhotosDBCleaner::inTransaction(platform::SQLiteConnection& connection,
                                                      const std::function<platform::Result<void>()>& work) {
  if (auto began = connection.begin(); !began) return began;
  auto done = work();
  if (done) done = connection.commit();
  if (!done) connection.rollback();
  return done;
}

void PhotosDBCleaner::stub(const std::string& name, int argumentCount) {
  if (dbConnection) (void)dbConnection->registerNoOpFunction(name, argumentCount);
}

std::vector<platform::Value> PhotosDBCleaner::values(const std::vector<std::int64_t>& numbers) {
  std::vector<platform::Value> out;
  out.reserve(numbers.size());
  for (const std::int64_t number : numbers) out.emplace_back(static_cast<long long>(number));
  return out;
}

std::vector<platform::Value> PhotosDBCleaner::values(const std::vector<std::string>& texts) {
  std::vector<platform::Value> out;
  out.reserve(texts.size());
  for (const std::string& text : texts) out.emplace_back(text);
  return out;
}

}  // namespace vozi
