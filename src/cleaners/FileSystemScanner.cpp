#include "cleaners/FileSystemScanner.h"

#include <cerrno>

#include "common/StringExtensions.h"
#include "platform/DispatchQueue.h"
#include "platform/MountedVolumes.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"
#include "platform/ResourceValues.h"
#include "platform/TreePath.h"

namespace vozi {

std::optional<FileSystemScannerIterationKind> fileSystemScannerIterationKind(int rawValue) {
  switch (rawValue) {
    case 1:
    case 2:
    case 4:
    case 8:
      return static_cast<FileSystemScannerIterationKind>(rawValue);
    default:
      return std::nullopt;
  }
}

// --- Nodes ------------------------------------------------------------------

std::string FileSystemScannerItem::extensionOf(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
  return std::string(name.substr(dot + 1));
}

FileSystemScannerItemPtr FileSystemScannerItem::root(const std::string& path) {
  auto node = std::make_shared<FileSystemScannerItem>();
  node->shortcut = std::string(platform::PathComponents::withoutTrailingSlashes(path));
  node->pathExtension = extensionOf(platform::PathComponents::lastComponent(node->shortcut));
  using Keys = platform::ResourceKeys;
  const auto values = platform::ResourceValues::readInTree(node->shortcut, Keys::IsDirectory | Keys::IsSymbolicLink |
                                                                               Keys::FileSize);
  if (!values || !values->isDirectory || !values->isSymbolicLink) {
    node->isUnknown = true;
    return node;
  }
  node->isFolder = *values->isDirectory;
  node->isSymbolicLink = *values->isSymbolicLink;
  node->size = static_cast<std::int64_t>(values->fileSize.value_or(0));
  return node;
}

FileSystemScannerItemPtr FileSystemScannerItem::child(const FileSystemScannerItemPtr& parent,
                                                      platform::FolderListing::Entry entry) {
  auto node = std::make_shared<FileSystemScannerItem>();
  node->parent = parent;
  node->pathExtension = extensionOf(entry.name);
  node->shortcut = std::move(entry.name);
  node->size = entry.size;
  node->isUnknown = entry.kind == Kind::unknown;
  node->isFolder = entry.kind == Kind::folder;
  node->isSymbolicLink = entry.kind == Kind::link;
  return node;
}

std::string FileSystemScannerItem::path() const {
  const auto above = parent.lock();
  if (!above) return shortcut;
  std::string path = above->path();
  if (path != "/") path += '/';
  return path + shortcut;
}

platform::URL FileSystemScannerItem::url() const { return platform::URL::fileURLWithPath(path()); }

bool FileSystemScannerItem::containsPathComponent(std::string_view component) const {
  const FileSystemScannerItem* node = this;
  std::shared_ptr<const FileSystemScannerItem> holder;
  while (auto above = node->parent.lock()) {
    if (asciiLowercased(node->shortcut) == component) return true;
    holder = std::move(above);
    node = holder.get();
  }
  return false;
}

FileSystemScannerItemPtr FileSystemScannerItem::locate(const platform::URL& url) {
  const auto split = [](const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
      const std::size_t end = std::min(path.find('/', start), path.size());
      if (end > start) parts.push_back(path.substr(start, end - start));
      start = end + 1;
    }
    return parts;
  };
  const std::vector<std::string> own = split(path());
  const std::vector<std::string> wanted = split(url.path());
  if (wanted.size() < own.size()) return nullptr;
  FileSystemScannerItemPtr current = shared_from_this();
  for (std::size_t index = own.size(); index < wanted.size(); ++index) {
    if (!current->folders) return current;
    const auto named = [&](const std::optional<std::vector<FileSystemScannerItemPtr>>& list) -> FileSystemScannerItemPtr {
      if (!list) return nullptr;
      for (const auto& node : *list) {
        if (node->shortcut == wanted[index]) return node;
      }
      return nullptr;
    };
    auto next = named(current->folders);
    if (!next) next = named(current->files);
    if (!next) return nullptr;
    current = std::move(next);
  }
  return current;
}

FileSystemScannerSequence FileSystemScannerItem::iterate(std::initializer_list<FileSystemScannerIterationKind> kinds) {
  int mask = 0;
  for (const auto kind : kinds) mask |= static_cast<int>(kind);
  return FileSystemScannerSequence(shared_from_this(), mask);
}

// --- Iteration --------------------------------------------------------------

FileSystemScannerItemPtr FileSystemScannerShallowIterator::next() {
  if (!item) return nullptr;
  const auto take = [](const std::optional<std::vector<FileSystemScannerItemPtr>>& list,
                       std::size_t& index) -> FileSystemScannerItemPtr {
    if (!list || index >= list->size()) return nullptr;
    return (*list)[index++];
  };
  FileSystemScannerItemPtr found;
  if ((kind & links) != 0) found = take(item->links, linksIndex);
  if (!found && (kind & files) != 0) found = take(item->files, filesIndex);
  if (!found && (kind & folders) != 0) found = take(item->folders, foldersIndex);
  if (!found && (kind & unknowns) != 0) found = take(item->unknowns, unknownsIndex);
  return found;
}

FileSystemScannerDeepIterator::FileSystemScannerDeepIterator(FileSystemScannerItemPtr start, int mask)
    : kind(mask), item(std::move(start)), current(item, mask) {
  if (item) stack.emplace_back(0, item);
}

FileSystemScannerItemPtr FileSystemScannerDeepIterator::next() {
  for (;;) {
    if (auto found = current.next()) return found;
    // The current node is done: on to the next subfolder still to visit.
    for (;;) {
      if (stack.empty()) return nullptr;
      auto& [index, node] = stack.back();
      if (node->folders && index < node->folders->size()) {
        FileSystemScannerItemPtr folder = (*node->folders)[index++];
        current = FileSystemScannerShallowIterator(folder, kind);
        stack.emplace_back(0, std::move(folder));
        break;
      }
      stack.pop_back();
    }
  }
}

// --- The scanner ------------------------------------------------------------

platform::Result<std::shared_ptr<FileSystemScanner>> FileSystemScanner::make(int threads, int scanAmount) {
  if (threads < 1 || scanAmount < 1) return platform::PosixError::make(EINVAL);
  return std::shared_ptr<FileSystemScanner>(new FileSystemScanner(threads, scanAmount));
}

FileSystemScanner::FileSystemScanner(int threads, int scanAmount)
    : operationQueue_(std::make_shared<platform::OperationQueue>()), scanAmount_(scanAmount) {
  operationQueue_->setMaxConcurrentOperationCount(threads);
}

std::vector<std::pair<std::size_t, std::size_t>> FileSystemScanner::ranges(std::size_t count, std::size_t scanAmount) {
  std::vector<std::pair<std::size_t, std::size_t>> cut;
  if (scanAmount == 0) return cut;
  for (std::size_t start = 0; start < count; start += scanAmount) cut.emplace_back(start, std::min(count, start + scanAmount));
  return cut;
}

std::vector<FileSystemScannerItemPtr> FileSystemScanner::scan(const std::vector<platform::URL>& folders) {
  completed_ = false;
  std::vector<FileSystemScannerItemPtr> roots;
  auto workitems = std::make_shared<std::vector<WorkItem>>();
  for (const platform::URL& folder : folders) {
    auto root = FileSystemScannerItem::root(folder.path());
    roots.push_back(root);
    if (!root->isFolder || root->isSymbolicLink) continue;
    // Held for the whole scan: every folder of the tree is opened below it.
    auto held = platform::TreePath::openFolder(root->shortcut);
    if (!held) continue;
    workitems->push_back(
        WorkItem{std::make_shared<const platform::FileDescriptor>(std::move(held->descriptor)), "", root});
  }
  enqueue(workitems);
  operationQueue_->waitUntilAllOperationsAreFinished();
  for (const auto& root : roots) updateSize(*root);
  completed_ = true;
  return roots;
}

void FileSystemScanner::scan(const std::vector<platform::URL>& folders,
                             std::function<void(std::vector<FileSystemScannerItemPtr>)> completionCallback) {
  platform::DispatchQueue::global()->async(
      [self = shared_from_this(), folders, completionCallback = std::move(completionCallback)] {
        auto roots = self->scan(folders);
        if (completionCallback) completionCallback(std::move(roots));
      });
}

void FileSystemScanner::cancel() {
  cancelled_ = true;
  operationQueue_->cancelAllOperations();
}

void FileSystemScanner::enqueue(const WorkItems& workitems) {
  if (!workitems) return;
  for (const auto& range : ranges(workitems->size(), static_cast<std::size_t>(scanAmount_))) {
    operationQueue_->addOperation(std::make_shared<FolderScannerOperation>(shared_from_this(), workitems, range));
  }
}

void FileSystemScanner::report(const FileSystemScannerItem& item) {
  const auto count = [](const std::optional<std::vector<FileSystemScannerItemPtr>>& list) {
    return list ? static_cast<std::int64_t>(list->size()) : 0;
  };
  items_.fetch_add(count(item.links) + count(item.files) + count(item.folders) + count(item.unknowns));
}

std::int64_t FileSystemScanner::updateSize(FileSystemScannerItem& item) {
  if (item.isUnknown) return 0;
  if (!item.isFolder) return item.size;
  // Post-order without recursion: a deep tree cannot exhaust the stack.
  std::vector<std::pair<FileSystemScannerItem*, std::size_t>> stack{{&item, 0}};
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (node->folders && next < node->folders->size()) {
      FileSystemScannerItem* folder = (*node->folders)[next++].get();
      stack.emplace_back(folder, 0);
      continue;
    }
    std::int64_t total = 0;
    if (node->files) {
      for (const auto& file : *node->files) total += file->size;
    }
    if (node->folders) {
      for (const auto& folder : *node->folders) total += folder->size;
    }
    node->size = total;
    stack.pop_back();
  }
  return item.size;
}

void FolderScannerOperation::main() {
  auto subfolders = std::make_shared<std::vector<FileSystemScanner::WorkItem>>();
  for (std::size_t index = range.first; index < range.second; ++index) {
    const FileSystemScanner::WorkItem& work = (*workitems)[index];
    auto opened = platform::TreePath::openFolderBelow(work.root->get(), work.relativePath);
    if (!opened) continue;
    auto listed = platform::FolderListing::list(std::move(*opened));
    if (!listed) continue;
    FileSystemScannerItem& node = *work.node;
    std::size_t counts[4] = {0, 0, 0, 0};
    for (const auto& entry : *listed) ++counts[static_cast<int>(entry.kind)];
    using Kind = platform::FolderListing::Kind;
    const auto listFor = [&node, &counts](Kind kind) -> std::optional<std::vector<FileSystemScannerItemPtr>>& {
      switch (kind) {
        case Kind::file:
          return node.files;
        case Kind::folder:
          return node.folders;
        case Kind::link:
          return node.links;
        case Kind::unknown:
          break;
      }
      return node.unknowns;
    };
    for (const Kind kind : {Kind::file, Kind::folder, Kind::link, Kind::unknown}) {
      if (counts[static_cast<int>(kind)] > 0) listFor(kind).emplace().reserve(counts[static_cast<int>(kind)]);
    }
    for (auto& entry : *listed) {
      const Kind kind = entry.kind;
      std::string name = entry.name;
      auto child = FileSystemScannerItem::child(work.node, std::move(entry));
      if (kind == Kind::folder) {
        subfolders->push_back(FileSystemScanner::WorkItem{
            work.root, work.relativePath.empty() ? std::move(name) : work.relativePath + "/" + name, child});
      }
      listFor(kind)->push_back(std::move(child));
    }
    node.children = static_cast<std::int64_t>(listed->size());
    folderScanCoordinator->report(node);
  }
  if (!subfolders->empty()) folderScanCoordinator->enqueue(subfolders);
}

// --- Volumes ----------------------------------------------------------------

platform::Value::Dictionary VolumeStatistics::encode() const {
  return {
      {kResourceCountKey, platform::Value(static_cast<long long>(resourceCount))},
      {kTotalCapacityKey, platform::Value(static_cast<long long>(totalCapacity))},
      {kAvailableCapacityKey, platform::Value(static_cast<long long>(availableCapacity))},
  };
}

platform::Result<VolumeStatistics> VolumeStatistics::decode(const platform::Value& value) {
  if (!value.isDictionary()) return platform::PosixError::make(EINVAL);
  VolumeStatistics statistics;
  for (const auto& [key, field] : {std::pair{kResourceCountKey, &statistics.resourceCount},
                                   std::pair{kTotalCapacityKey, &statistics.totalCapacity},
                                   std::pair{kAvailableCapacityKey, &statistics.availableCapacity}}) {
    const platform::Value* found = value.find(key);
    const auto number = found && found->isInteger() ? found->asInt64() : std::nullopt;
    if (!number) return platform::PosixError::make(EINVAL, key);
    *field = *number;
  }
  return statistics;
}

std::map<std::string, Volumes::Volume> Volumes::all() { return all(platform::MountedVolumes::kMountInfoPath); }

std::map<std::string, Volumes::Volume> Volumes::all(const std::string& mountInfoPath) {
  std::map<std::string, Volume> volumes;
  for (const std::string& mountPoint : platform::MountedVolumes::mountPoints(mountInfoPath)) {
    const auto figures = platform::MountedVolumes::figures(mountPoint);
    if (!figures || figures->totalCapacity == 0) continue;
    VolumeStatistics statistics;
    statistics.resourceCount = static_cast<std::int64_t>(figures->resourceCount);
    statistics.totalCapacity = static_cast<std::int64_t>(figures->totalCapacity);
    statistics.availableCapacity = static_cast<std::int64_t>(figures->availableCapacity);
    volumes.insert_or_assign(mountPoint, Volume{platform::URL::fileURLWithPath(mountPoint, true), statistics});
  }
  return volumes;
}

}  // namespace vozi
