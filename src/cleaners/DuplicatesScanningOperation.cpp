#include "cleaners/DuplicatesScanningOperation.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "common/DuplicateItem.h"
#include "common/FileKinds.h"
#include "common/FileManager.h"
#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "common/ModelItemOrderedSet.h"
#include "common/TypedFileItem.h"
#include "common/URLExtensions.h"
#include "platform/DiskKind.h"
#include "platform/FilePackage.h"
#include "platform/PathComponents.h"
#include "platform/Sha256.h"
#include "platform/TreePath.h"
#include "sanitizers/DirectoryManager.h"
#include "sanitizers/SessionUserFolders.h"

namespace vozi {

namespace {

using platform::DirectoryEnumerationOptions;
using platform::ResourceKeys;
using platform::WalkAction;

constexpr DirectoryEnumerationOptions kOptions =
    DirectoryEnumerationOptions::SkipsHiddenFiles | DirectoryEnumerationOptions::SkipsPackageDescendants;
constexpr ResourceKeys kPropertyKeys = ResourceKeys::FileSize | ResourceKeys::TypeIdentifier |
                                       ResourceKeys::CreationDate | ResourceKeys::ContentAccessDate |
                                       ResourceKeys::AddedToDirectoryDate;
constexpr const char* kLibraryExtension = "photoslibrary";
constexpr unsigned kMostReaders = 8;

}  // namespace

std::string_view DuplicatesScanningOperation::below(const Candidate& candidate) {
  return std::string_view(candidate.path).substr(candidate.relativeStart);
}

DuplicatesScanningOperation::DuplicatesScanningOperation(GroupPtr itemGroup, Completion completion,
                                                         ProgressHandler progressHandler,
                                                         std::shared_ptr<IUserAgentLink> userAgentLink)
    : BaseFilesScanningOperation(std::move(itemGroup), std::move(completion), std::move(progressHandler)),
      userAgentLink_(std::move(userAgentLink)) {
  for (const platform::URL& url : this->itemGroup()->ignoreURLs())
    ignoredPaths_.push_back(platform::PathComponents::normalized(url.path()));
}

std::vector<std::string> DuplicatesScanningOperation::excludedSubPaths() const {
  std::vector<std::string> excluded = BaseFilesScanningOperation::excludedSubPaths();
  const auto& fragments = itemGroup()->ignorePathFragments();
  excluded.insert(excluded.end(), fragments.begin(), fragments.end());
  return excluded;
}

const std::string& DuplicatesScanningOperation::allowedFolder() {
  if (!allowedFolder_) allowedFolder_ = SessionUserFolders::allowedFolder(userAgentLink_.get());
  return *allowedFolder_;
}

const std::vector<std::string>& DuplicatesScanningOperation::searchedFolders() {
  if (!searchedFolders_)
    searchedFolders_ = SessionUserFolders::confined(itemGroup()->scanningURLs(), allowedFolder(),
                                                    "Not searched for duplicates");
  return *searchedFolders_;
}

std::vector<std::string> DuplicatesScanningOperation::scanningRoots() {
  std::vector<std::string> folders = searchedFolders();
  if (folders.empty()) folders.push_back(allowedFolder());
  return folders;
}

void DuplicatesScanningOperation::main() {
  if (isCancelled()) return;
  const std::vector<std::string>& roots = searchedFolders();
  MLog("start scanning duplicates in: " + bracketedList(roots));
  if (shouldCalculateDuration()) {
    setDuration(FileManager().numberOfPaths(roots, kOptions, [this] { return isCancelled(); }));
  }
  walk(roots);
  // The libraries' own files: all "Masters" folders first, then "Previews".
  std::vector<std::string> libraryFolders;
  for (const char* folder : {"Masters", "Previews"}) {
    for (const std::string& library : libraries_) libraryFolders.push_back(platform::PathComponents::appending(library, folder));
  }
  walk(libraryFolders);
  hashAlikeFiles();
  addSets();
  if (isCancelled()) {
    complete(nullptr, true);
    return;
  }
  progressDidFinish();
  complete(itemGroup(), false);
}

void DuplicatesScanningOperation::walk(const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    if (isCancelled()) return;
    // The folder walked is the one its files are read below later.
    auto held = platform::TreePath::openFolder(root);
    if (!held) continue;
    auto walked = held->descriptor.duplicate();
    if (!walked) continue;
    roots_.push_back(std::move(held->descriptor));
    platform::DirectoryWalker::walk(std::move(*walked), root, kOptions,
                                    [this](const platform::DirectoryWalker::Entry& entry) { return visit(entry); });
  }
}

bool DuplicatesScanningOperation::skipsSubtree(const platform::DirectoryWalker::Entry& entry) {
  const std::string& path = entry.path();
  const bool ignored = std::find(ignoredPaths_.begin(), ignoredPaths_.end(), path) != ignoredPaths_.end();
  if (!ignored && !DirectoryManager::isPathInUserLibrary(path)) return false;
  if (shouldCalculateDuration()) {
    std::uint64_t units = 1;
    if (entry.isDirectory()) units += FileManager().numberOfPaths({path}, kOptions, [this] { return isCancelled(); });
    incrementProgress(units);
  }
  return true;
}

WalkAction DuplicatesScanningOperation::visit(const platform::DirectoryWalker::Entry& entry) {
  if (isCancelled()) return WalkAction::Stop;
  if (handleSubpath(entry.path()) == FileManagerEnumerationAction::skipPath) return WalkAction::SkipDescendants;
  handleBackgroundScan();
  if (skipsSubtree(entry)) return WalkAction::SkipDescendants;

  const std::string_view extension = platform::FilePackage::extension(entry.name());
  if (entry.isDirectory() && extension == kLibraryExtension) libraries_.push_back(entry.path());
  // Folders, links and other files that are not regular, and files this
  // process could not delete, are counted and left out.
  if (!entry.isRegularFile() || !entry.isDeletable()) {
    incrementProgress(1);
    return WalkAction::Continue;
  }
  const auto values = entry.resourceValues(kPropertyKeys);
  Candidate candidate;
  candidate.path = entry.path();
  candidate.root = roots_.size() - 1;
  candidate.relativeStart = candidate.path.size() - entry.relativePath().size();
  if (values) {
    candidate.size = values->fileSize.value_or(0);
    candidate.lastUse = URLExtensions::lastAccessDate(
        URLExtensions::ResourceDates{values->contentAccessDate, values->addedToDirectoryDate, values->creationDate});
  }
  candidate.kind = static_cast<std::uint64_t>(
      FileKinds::fileType(values ? values->typeIdentifier : std::nullopt, extension).value_or(ZOLMFileItemType::documents));
  candidates_.push_back(std::move(candidate));
  incrementProgress(1);
  return WalkAction::Continue;
}

bool DuplicatesScanningOperation::spins() {
  if (!spins_) {
    const auto folders = searchedFolders();
    spins_ = !folders.empty() && platform::DiskKind::isRotational(folders.front());
  }
  return *spins_;
}

void DuplicatesScanningOperation::readFiles(const std::vector<std::size_t>& indexes, Work work) {
  const unsigned many =
      readingThreads_ != 0 ? readingThreads_ : std::clamp(std::thread::hardware_concurrency(), 1u, kMostReaders);
  if (readingThreads_ != 0 || many == 1 || !spins()) {
    readWith(indexes, work, many);
    return;
  }
  // A spinning disk reads one file at a time best; what is in memory
  // already may still be read side by side.
  std::vector<std::size_t> onDisk;
  readWith(indexes, work, many, &onDisk);
  std::sort(onDisk.begin(), onDisk.end());
  readWith(onDisk, work, 1);
}

void DuplicatesScanningOperation::readWith(const std::vector<std::size_t>& indexes, Work work, unsigned threads,
                                           std::vector<std::size_t>* declines) {
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(indexes.size(), 1)));
  std::atomic<std::size_t> next{0};
  std::mutex declinesMutex;
  auto reader = [&] {
    for (std::size_t at = next++; at < indexes.size() && !isCancelled(); at = next++) {
      Candidate& candidate = candidates_[indexes[at]];
      bool declined = false;
      work(candidate, roots_[candidate.root].get(), declines ? &declined : nullptr);
      if (declined) {
        std::lock_guard lock(declinesMutex);
        declines->push_back(indexes[at]);
      }
    }
  };
  if (threads <= 1) {
    reader();
    return;
  }
  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) pool.emplace_back(reader);
  for (auto& thread : pool) thread.join();
}

void DuplicatesScanningOperation::hashAlikeFiles() {
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> bySize;
  for (std::size_t index = 0; index < candidates_.size(); ++index) bySize[candidates_[index].size].push_back(index);

  // Small files are read whole at once; larger ones first at both ends.
  std::vector<std::size_t> whole;
  std::vector<std::size_t> ends;
  for (const auto& [size, members] : bySize) {
    if (members.size() < 2) continue;
    auto& stage = size <= 2 * kEndBlockSize ? whole : ends;
    stage.insert(stage.end(), members.begin(), members.end());
  }
  readFiles(ends, [](Candidate& candidate, int root, bool* declined) {
    candidate.ends = platform::Sha256::digestOfFileEndsBelow(root, below(candidate), kEndBlockSize, declined);
  });
  std::map<std::pair<std::uint64_t, std::vector<std::uint8_t>>, std::vector<std::size_t>> alike;
  for (const std::size_t index : ends) {
    if (candidates_[index].ends) alike[{candidates_[index].size, *candidates_[index].ends}].push_back(index);
  }
  for (const auto& [key, members] : alike) {
    if (members.size() > 1) whole.insert(whole.end(), members.begin(), members.end());
  }
  readFiles(whole, [](Candidate& candidate, int root, bool* declined) {
    candidate.hash = platform::Sha256::digestOfFileBelow(root, below(candidate), declined);
  });
}

void DuplicatesScanningOperation::addSets() {
  std::map<std::pair<std::uint64_t, std::vector<std::uint8_t>>, std::shared_ptr<DuplicateItem>> byContent;
  std::vector<std::shared_ptr<DuplicateItem>> sets;
  for (const Candidate& candidate : candidates_) {
    if (!candidate.hash) continue;
    auto file = std::make_shared<TypedFileItem>(platform::URL::fileURLWithPath(candidate.path), candidate.size,
                                                candidate.lastUse, kFileIdentifier, candidate.kind);
    file->setFileDataHash(*candidate.hash);
    auto& set = byContent[{candidate.size, *candidate.hash}];
    if (!set) {
      set = std::make_shared<DuplicateItem>(file->name().value_or(""), 0, std::make_shared<ModelItemOrderedSet>(),
                                            kDuplicateIdentifier, nullptr, nullptr, std::nullopt);
      sets.push_back(set);
    }
    set->addItem(file);
  }
  for (const auto& set : sets) {
    if (set->isValid()) itemGroup()->addItem(set);
  }
}

}  // namespace vozi
