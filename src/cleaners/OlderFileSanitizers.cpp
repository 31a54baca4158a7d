#include "cleaners/OlderFileSanitizers.h"

#include <cerrno>
#include <unordered_map>

#include "cleaners/FileShredder.h"
#include "cleaners/MailAttachmentScanner.h"
#include "common/FileItem.h"
#include "common/FileManagerAdditions.h"
#include "common/MLog.h"
#include "platform/FileManager.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/ResourceValues.h"
#include "platform/TreeRemoval.h"
#include "sanitizers/FileSearcher.h"
#include "sanitizers/SessionUserFolders.h"

namespace vozi {

std::pair<std::uint64_t, std::vector<ModelFile>> BigFilesSanitizer::bigFiles(
    const platform::DispatchWorkItem& dispatchWorkItem) {
  std::pair<std::uint64_t, std::vector<ModelFile>> found;
  if (dirs().empty()) return found;
  const ZOLMPreferences current = preferences.value_or(ZOLMPreferences());
  const platform::Date limit =
      platform::Date::now().addingTimeInterval(static_cast<double>(current.bigFilesLastOpenMoreThan()));
  // The searcher lives until its search has ended, completed or not.
  FileSearcher<ModelFile> searcher(current.bigFilesMinSize(), limit, current.bigFilesSearchFileTypes());
  const platform::URL root = platform::URL::fileURLWithPath(dirs().front(), true);
  auto operation = searcher.search(
      root, FileSearcher<ModelFile>::SerchMode::defaultMode,
      [&found, root](const auto& results, const auto& errors) {
        MLog("found bigFiles at dir " + root.absoluteString() + " : " + std::to_string(results ? results->size() : 0) +
             " buckets errors: " + std::to_string(errors ? errors->size() : 0));
        if (!results) return;
        for (const auto& [bucket, models] : *results) {
          for (const ModelFile& model : models) {
            found.second.push_back(model);
            found.first += model.fileSize();
          }
        }
      },
      [&searcher, &dispatchWorkItem](const platform::URL&, std::int64_t, std::int64_t) {
        if (dispatchWorkItem.isCancelled()) searcher.cancel();
      });
  if (!operation) return {};
  operation->waitUntilFinished();
  if (operation->isCancelled() || dispatchWorkItem.isCancelled()) return {};
  return found;
}

std::pair<std::uint64_t, std::vector<ModelFile>> BigFilesSanitizer::purge(
    const Sizes& what, const std::vector<ModelFile>& found, const platform::DispatchWorkItem& dispatchWorkItem) {
  std::pair<std::uint64_t, std::vector<ModelFile>> removed;
  const bool toTrash = preferences && preferences->shouldMoveDeletedToTrash();
  if (dispatchWorkItem.isCancelled() || dirs().empty()) return removed;
  MLog(" bigFiles: " + std::to_string(found.size()));
  // The records by URL, made once; the last of one URL wins.
  std::unordered_map<std::string, const ModelFile*> records;
  for (const ModelFile& file : found) records.insert_or_assign(file.fileURL().absoluteString(), &file);
  for (const auto& [key, size] : what) {
    if (dispatchWorkItem.isCancelled()) break;
    const auto url = platform::URL::fromString(key);
    const auto at = url ? records.find(url->absoluteString()) : records.end();
    const ModelFile* record = at == records.end() ? nullptr : at->second;
    if (!record || !platform::PathComponents::isInside(record->fileURL().path(), dirs().front())) {
      MLog("Not a big file the search found, left alone: " + key);
      continue;
    }
    const std::string path = record->fileURL().path();
    MLog("--> remove bigFile " + key);
    const auto outcome = SessionUserFolders::removeOrTrash(path, toTrash);
    if (!outcome) {
      MLogf("Can't remove %@: %@", key, outcome.error().localizedDescription());
      continue;
    }
    removed.first += record->fileSize();
    removed.second.push_back(*record);
    MLog("--> removed big File " + key);
  }
  return removed;
}

std::unique_ptr<MailAttachmentsSanitizer> MailAttachmentsSanitizer::make(const std::string& userName) {
  if (userName.empty()) return nullptr;
  return std::unique_ptr<MailAttachmentsSanitizer>(
      new MailAttachmentsSanitizer(userName, FileManagerAdditions::usersMailAttachment(userName)));
}

Sanitizer::ScanResult MailAttachmentsSanitizer::scan() {
  ScanResult result;
  const auto libraries = FileManagerAdditions::usersLibrary(userName_);
  const auto group = MailAttachmentScanner(libraries.empty() ? std::nullopt : std::optional(libraries.front())).scan();
  group->enumerateObjects([&result](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    if (const auto* file = dynamic_cast<const FileItem*>(item.get())) result.second[file->path()] = file->size();
  });
  result.first = group->size();
  return result;
}

std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelFile>>> MailAttachmentsSanitizer::mailAttachments(
    const platform::DispatchWorkItem&) {
  const auto [total, sizes] = scan();
  std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelFile>>> found{total, {}};
  for (const auto& [path, size] : sizes) found.second.push_back(std::make_shared<ModelFile>(path, size, std::nullopt, std::nullopt));
  return found;
}

std::pair<std::uint64_t, Sanitizer::Sizes> MailAttachmentsSanitizer::purge(
    const Sizes& what, const std::optional<Sizes>& found, const platform::DispatchWorkItem& dispatchWorkItem) {
  std::pair<std::uint64_t, Sizes> removed;
  for (const auto& [path, size] : what) {
    if (dispatchWorkItem.isCancelled()) break;
    if (!found || !found->contains(path)) {
      MLog("mail attachments sanitizer:" + name() + " left alone, not found by its scan: " + path);
      continue;
    }
    const auto values = platform::ResourceValues::readInTree(path, platform::ResourceKeys::FileSize);
    const std::uint64_t bytes = values ? values->fileSize.value_or(0) : 0;
    const auto gone = platform::TreeRemoval::removeItem(path);
    if (!gone && gone.error().code != ENOENT) {
      MLog("mail attachments sanitizer:" + name() + " could not remove item at: " + path + ", error:" +
           gone.error().domain + " " + std::to_string(gone.error().code));
      MLog(gone.error().localizedDescription());
      continue;
    }
    removed.first += bytes;
    removed.second[path] = bytes;
    MLog("mail attachments sanitizer:" + name() + " removed item at: " + path);
  }
  return removed;
}

std::uint64_t TrashBinSanitizer::purge(const std::string& folder) {
  if (!isOwnFolder(folder)) {
    MLog("Not the Trash this sanitizer was made for, left alone: " + folder);
    return 0;
  }
  const ZOLMPreferences current = preferences.value_or(ZOLMPreferences());
  if (scan().first <= current.minTrashSizeToClean()) return 0;
  return Sanitizer::purge(folder);
}

std::pair<std::uint64_t, std::vector<ModelFile>> ShredderSanitizer::purge(
    const Sizes& what, const platform::DispatchWorkItem& dispatchWorkItem) {
  std::pair<std::uint64_t, std::vector<ModelFile>> shredded;
  MLog("Shredder to purge: " + describe(what));
  if (dispatchWorkItem.isCancelled()) return shredded;
  MLog("Shredder: " + std::to_string(what.size()));
  for (const auto& [path, size] : what) {
    if (dispatchWorkItem.isCancelled()) break;
    auto [bytes, files] = erase(ModelFile(platform::URL::fileURLWithPath(path)), dispatchWorkItem);
    shredded.first += bytes;
    shredded.second.insert(shredded.second.end(), files.begin(), files.end());
  }
  return shredded;
}

std::pair<std::uint64_t, std::vector<ModelFile>> ShredderSanitizer::erase(const ModelFile& file,
                                                                          const platform::DispatchWorkItem&) {
  const std::string path = file.fileURL().path();
  bool inside = false;
  for (const std::string& dir : dirs()) inside = inside || platform::PathComponents::isSameOrInside(path, dir);
  if (!inside) {
    MLog("Error: not in the shredder's folders: " + path);
    return {0, {file}};
  }
  const auto values = platform::ResourceValues::readInTree(path, platform::ResourceKeys::FileSize);
  if (!values || !values->fileSize) {
    MLog("Error: cannot read " + path);
    return {0, {file}};
  }
  if (FileShredder().shred(path, owner_) != FileShredder::Outcome::shredded) return {0, {file}};
  return {*values->fileSize, {file}};
}

}  // namespace vozi
