#include "cleaners/DuplicateSanitizer.h"

#include <map>
#include <unordered_map>

#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "common/URLExtensions.h"
#include "platform/DirectoryWalker.h"
#include "platform/FileManager.h"
#include "platform/FilePackage.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "sanitizers/AdditionalUpdates.h"
#include "sanitizers/SessionUserFolders.h"

namespace vozi {

namespace {

using platform::DirectoryEnumerationOptions;

// A user's Library, or a hidden folder right inside a home: the fourth
// component of the tree path ("/Users/bob/Library/...").
bool isUnderHomeLibraryOrHidden(const std::string& path) {
  const std::string tree = platform::HostRoot::unresolve(path);
  std::size_t start = 1;
  for (int component = 2; component <= 4; ++component) {
    const std::size_t end = tree.find('/', start);
    if (end == std::string::npos && component < 4) return false;
    if (component == 4) {
      const std::string_view fourth = std::string_view(tree).substr(start, end == std::string::npos ? std::string::npos : end - start);
      return fourth == "Library" || fourth.starts_with(".");
    }
    start = end + 1;
  }
  return false;
}

void walkFolder(const std::string& folder, DirectoryEnumerationOptions options, const std::vector<std::string>& excluded,
                std::uint64_t& total, std::map<std::string, std::uint64_t>& found) {
  std::vector<std::string> libraries;
  platform::DirectoryWalker::walk(folder, options, [&](const platform::DirectoryWalker::Entry& entry) {
    if (entry.isDirectory() && platform::FilePackage::extension(entry.name()) == "photoslibrary") {
      libraries.push_back(entry.path());
    }
    if (URLExtensions::caseInsensitiveContains(entry.path(), excluded)) return platform::WalkAction::SkipDescendants;
    if (isUnderHomeLibraryOrHidden(entry.path())) return platform::WalkAction::SkipDescendants;
    if (!entry.isRegularFile()) return platform::WalkAction::Continue;
    const auto values = entry.resourceValues(platform::ResourceKeys::FileSize);
    if (!values || !values->fileSize || *values->fileSize == 0) return platform::WalkAction::Continue;
    total += *values->fileSize;
    found[entry.path()] = *values->fileSize;
    return platform::WalkAction::Continue;
  });
  for (const std::string& library : libraries) {
    for (const char* inside : {"Masters", "Previews"}) {
      walkFolder(platform::PathComponents::appending(library, inside), DirectoryEnumerationOptions::SkipsHiddenFiles,
                 excluded, total, found);
    }
  }
}


}  // namespace

Sanitizer::ScanResult DuplicateSanitizer::scan() {
  ScanResult result;
  if (dirs().empty()) return result;
  const ZOLMPreferences current = preferences.value_or(ZOLMPreferences());
  MLog("DuplicateSanitizer dirs: " + bracketedList(dirs()));
  for (const std::string& dir : dirs()) {
    if (!platform::FileManager::defaultManager().fileExists(dir)) continue;
    walkFolder(dir, DirectoryEnumerationOptions::SkipsHiddenFiles | DirectoryEnumerationOptions::SkipsPackageDescendants,
               current.excludeFromDuplicatesSearch(), result.first, result.second);
  }
  return result;
}

std::pair<std::uint64_t, std::vector<ModelDuplicate>> DuplicateSanitizer::findDuplicates(
    const platform::DispatchWorkItem& dispatchWorkItem) {
  const auto [total, found] = scan();
  MLogf("Found %@ files.", std::to_string(found.size()));
  // The files by size, sizes in the order first met: only files that share
  // a size are ever read.
  std::vector<std::uint64_t> sizes;
  std::unordered_map<std::uint64_t, std::vector<ModelFile>> bySize;
  for (const auto& [path, size] : found) {
    if (dispatchWorkItem.isCancelled()) return {};
    auto& files = bySize[size];
    if (files.empty()) sizes.push_back(size);
    files.emplace_back(path, size, std::nullopt, std::nullopt);
  }
  MLogf("Created %@ FileModels", std::to_string(found.size()));
  MLogf("Unique sizes contains %@ elements", std::to_string(sizes.size()));
  if (dispatchWorkItem.isCancelled()) return {};
  std::vector<ModelDuplicate> sets;
  for (const std::uint64_t size : sizes) {
    const auto& files = bySize[size];
    if (files.size() < 2) continue;  // alone in its size: never a duplicate
    std::vector<ModelDuplicate> ofSize;
    for (const ModelFile& file : files) {
      bool placed = false;
      for (ModelDuplicate& set : ofSize) {
        if (set.add(file)) {
          placed = true;
          break;
        }
      }
      if (!placed) ofSize.emplace_back(file);
    }
    for (ModelDuplicate& set : ofSize) {
      if (set.dups().size() > 1) sets.push_back(std::move(set));
    }
  }
  MLogf("Found %@ filtered dups", std::to_string(sets.size()));
  if (dispatchWorkItem.isCancelled()) return {};
  std::uint64_t bytes = 0;
  for (const ModelDuplicate& set : sets) {
    for (const ModelFile& file : set.dups()) bytes += file.fileSize();
  }
  MLogf("Common size: %@", std::to_string(bytes));
  return {bytes, std::move(sets)};
}

std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelDuplicate>>> DuplicateSanitizer::dups(
    const platform::DispatchWorkItem& dispatchWorkItem) {
  auto [bytes, sets] = findDuplicates(dispatchWorkItem);
  std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelDuplicate>>> result{bytes, {}};
  for (ModelDuplicate& set : sets) result.second.push_back(std::make_shared<ModelDuplicate>(std::move(set)));
  return result;
}

std::pair<std::uint64_t, std::vector<ModelFile>> DuplicateSanitizer::purge(
    const Sizes& what, const std::vector<ModelDuplicate>& found, const platform::DispatchWorkItem&) {
  std::pair<std::uint64_t, std::vector<ModelFile>> removed;
  const bool toTrash = preferences && preferences->shouldMoveDeletedToTrash();
  std::vector<std::string> photoPaths;
  bool media = false;
  MLog("existing duplicates: " + std::to_string(found.size()));
  // The members by standardized path, made once (a later member of the same
  // path wins, as a search through the sets in order would find it).
  std::unordered_map<std::string, const ModelFile*> members;
  for (const ModelDuplicate& set : found) {
    for (const ModelFile& file : set.dups()) members.insert_or_assign(file.standardizedPath(), &file);
  }
  for (const auto& [key, size] : what) {
    const auto url = platform::URL::fromString(key);
    const auto at = url ? members.find(platform::PathComponents::normalized(url->path())) : members.end();
    const ModelFile* member = at == members.end() ? nullptr : at->second;
    if (!member) {
      MLog("Not a member of the duplicates found, left alone: " + key);
      continue;
    }
    const std::string path = member->standardizedPath();
    MLog("--> remove duplicate " + key);
    const auto outcome = SessionUserFolders::removeOrTrash(path, toTrash);
    if (!outcome) {
      MLogf("Can't remove %@: %@", key, outcome.error().localizedDescription());
      continue;
    }
    removed.first += member->fileSize();
    removed.second.push_back(*member);
    const auto kind = member->fileType();
    if (kind == ZOLMFileItemType::photos) photoPaths.push_back(path);
    if (kind == ZOLMFileItemType::tracks || kind == ZOLMFileItemType::movies) media = true;
    MLog("--> removed duplicate " + key + " with " + std::to_string(member->fileSize()));
  }
  AdditionalUpdates::repairPhotos(photoPaths, requireAdditionActionOnCleaningStart);
  if (media) {
    MLog("--> updating iTunesLibrary");
    if (userAgentLink) userAgentLink->updateITunesLibrary();
  }
  MLog("--> returning duplicated results");
  return removed;
}

}  // namespace vozi
