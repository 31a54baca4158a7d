#include "sanitizers/Sanitizer.h"

#include <cerrno>
#include <cstdio>

#include "common/FileManager.h"
#include "common/MLog.h"
#include "platform/DirectoryWalker.h"
#include "platform/PathComponents.h"
#include "platform/TreePath.h"
#include "platform/TreeRemoval.h"

namespace vozi {

Sanitizer::Sanitizer(std::vector<std::string> dirs) : dirs_(std::move(dirs)) {
  for (std::string& dir : dirs_) dir = std::string(platform::PathComponents::withoutTrailingSlashes(dir));
}

std::string Sanitizer::describe(const Sizes& sizes) {
  std::string text = "{";
  for (const auto& [path, size] : sizes) text += (text.size() > 1 ? ", " : "") + path + ": " + std::to_string(size);
  return text + "}";
}

bool Sanitizer::isOwnFolder(const std::string& path) const {
  const std::string_view plain = platform::PathComponents::withoutTrailingSlashes(path);
  for (const std::string& dir : dirs_) {
    if (dir == plain) return true;
  }
  return false;
}

Sanitizer::ScanResult Sanitizer::scan() {
  ScanResult result;
  const auto& fileManager = platform::FileManager::defaultManager();
  for (const std::string& dir : dirs_) {
    if (!fileManager.fileExists(dir)) continue;
    std::uint64_t counted = 0;
    // A folder reached through a link is not walked (the walk refuses it).
    platform::DirectoryWalker::walk(dir, platform::DirectoryEnumerationOptions::None,
                                    [&](const platform::DirectoryWalker::Entry& entry) {
                                      if (entry.isDirectory()) return platform::WalkAction::Continue;
                                      const auto values = entry.resourceValues(platform::ResourceKeys::FileSize);
                                      if (!values || !values->fileSize || *values->fileSize == 0)
                                        return platform::WalkAction::Continue;
                                      if (!entry.isDeletable()) {
                                        MLog("Can not delete item at url: " + entry.path());
                                        return platform::WalkAction::Continue;
                                      }
                                      counted += *values->fileSize;
                                      return platform::WalkAction::Continue;
                                    });
    if (counted > 0) {
      result.first += counted;
      MLogf("Folder: %@ -> %lu bytes", dir, static_cast<unsigned long>(counted));
      result.second[dir] = counted;
    } else {
      MLog("DIR: " + dir + " is empty");
    }
  }
  return result;
}

std::uint64_t Sanitizer::purge() { return 0; }

std::uint64_t Sanitizer::purge(const std::string& folder) {
  MLogf("Purge directory: %@", folder);
  std::uint64_t total = 0;
  // The folder's own entries, each removed whole; the folder stays.
  std::vector<std::string> children;
  platform::DirectoryWalker::walk(folder, platform::DirectoryEnumerationOptions::SkipsSubdirectoryDescendants,
                                  [&children](const platform::DirectoryWalker::Entry& entry) {
                                    children.push_back(entry.path());
                                    return platform::WalkAction::SkipDescendants;
                                  });
  for (const std::string& child : children) {
    const auto removed = platform::TreeRemoval::removeItem(child);
    if (!removed) {
      MLog("sanitizer:" + name() + " could not remove item removed item at: " + child + ", error:" +
           removed.error().domain + " " + std::to_string(removed.error().code));
      MLog(removed.error().localizedDescription());
      continue;
    }
    MLog("sanitizer:" + name() + " removed item at: " + child);
    total += removed->bytes;
  }
  return total;
}

std::uint64_t Sanitizer::purge(const Sizes& details) {
  MLogf("Purge details: %@", describe(details));
  std::uint64_t total = 0;
  for (const auto& [path, size] : details) total += purge(path);
  return total;
}

std::pair<std::uint64_t, Sanitizer::Sizes> Sanitizer::purge(const Sizes& what, const std::optional<Sizes>& found,
                                                            const platform::DispatchWorkItem& dispatchWorkItem) {
  std::pair<std::uint64_t, Sizes> result;
  MLogf("Directories to purge: %@", describe(what));
  if (!found) return result;
  MLog("existing directories: " + std::to_string(found->size()));
  for (const auto& [path, size] : what) {
    if (dispatchWorkItem.isCancelled()) break;
    MLogf("--> remove %@", path);
    // Only a folder of this sanitizer that the kept scan found.
    if (!isOwnFolder(path) || !found->contains(path)) {
      MLog("Not a folder this sanitizer scanned, left alone: " + path);
      continue;
    }
    GeneralItemImp item(platform::URL::fileURLWithPath(path, true), size);
    const auto listener = delegate.lock();
    if (listener && !listener->shouldRemove(*this, item)) continue;
    const std::uint64_t removed = purge(path);
    result.first += removed;
    result.second[path] = removed;
    item.setSize(removed);
    if (listener) listener->didRemove(*this, item);
  }
  return result;
}

std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelDuplicate>>> Sanitizer::dups(
    const platform::DispatchWorkItem&) {
  return {};
}

std::pair<std::uint64_t, std::vector<std::shared_ptr<Application>>> Sanitizer::apps(
    const platform::DispatchWorkItem&) {
  return {};
}

std::pair<std::uint64_t, std::vector<std::shared_ptr<Language>>> Sanitizer::langs(const platform::DispatchWorkItem&,
                                                                                  const std::vector<std::string>&) {
  return {};
}

std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelFile>>> Sanitizer::mailAttachments(
    const platform::DispatchWorkItem&) {
  return {};
}

}  // namespace vozi
