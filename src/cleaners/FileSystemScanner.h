#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/FolderListing.h"
#include "platform/Value.h"
#include "platform/Operation.h"
#include "platform/OperationQueue.h"
#include "platform/Result.h"
#include "platform/URL.h"

namespace vozi {

// The kinds of child in a scanned tree, as bits that combine.
enum class FileSystemScannerIterationKind : int { links = 1, files = 2, folders = 4, unknowns = 8 };
// The kind of a raw value: exactly 1, 2, 4 or 8.
std::optional<FileSystemScannerIterationKind> fileSystemScannerIterationKind(int rawValue);

class FileSystemScannerItem;
using FileSystemScannerItemPtr = std::shared_ptr<FileSystemScannerItem>;
class FileSystemScannerSequence;

// One entry of a scanned tree. A node owns its children; its parent link is
// weak, so whoever holds the roots keeps the tree. Each listed child sits in
// exactly one of the four lists, by the first that applies: unknown (its
// facts could not be read), link, folder, file. A list is absent rather than
// empty. Sizes: a file or link has its own; a folder, after the scan, the
// sum of its files and subfolders; an unknown entry 0.
//
// Written by the one scanner operation that lists its folder, read only
// once the scan has ended.
class FileSystemScannerItem : public std::enable_shared_from_this<FileSystemScannerItem> {
 public:
  using Kind = platform::FolderListing::Kind;

  // A scan root at a host path: its facts read without following a link on
  // the way or at the end (a root that is a link stays a link and is not
  // listed); nothing there makes it unknown.
  static FileSystemScannerItemPtr root(const std::string& path);
  // A listed child of a folder.
  static FileSystemScannerItemPtr child(const FileSystemScannerItemPtr& parent, platform::FolderListing::Entry entry);

  std::weak_ptr<FileSystemScannerItem> parent;
  std::string shortcut;  // a root's full path, else the entry's name
  std::string pathExtension;
  std::int64_t size = 0;
  std::int64_t children = 0;
  bool isUnknown = false;
  bool isFolder = false;
  bool isSymbolicLink = false;
  std::optional<std::vector<FileSystemScannerItemPtr>> links;
  std::optional<std::vector<FileSystemScannerItemPtr>> files;
  std::optional<std::vector<FileSystemScannerItemPtr>> folders;
  std::optional<std::vector<FileSystemScannerItemPtr>> unknowns;

  bool isFile() const { return !isFolder; }
  // Built from the parent chain on every call; "/" + name below a root "/".
  std::string path() const;
  platform::URL url() const;

  // True when the lower-cased name of this node or of a folder above it,
  // below the root, equals the component. The root's own path is never
  // looked at: the words of the folder scanned (a user's name, where the
  // tree lies) say nothing of what is inside it.
  bool containsPathComponent(std::string_view component) const;

  // The node at the URL, walking down by names from this node (folders,
  // then files, exact names): this node when the URL has as many
  // components; the last node reached when one has no subfolders; none when
  // a name is not found or the URL is shorter than this node's path.
  FileSystemScannerItemPtr locate(const platform::URL& url);

  FileSystemScannerSequence iterate(std::initializer_list<FileSystemScannerIterationKind> kinds);

  static std::string extensionOf(std::string_view name);
};

// Yields the children of one node of the kinds selected: its links, then
// its files, its folders, its unknown entries, each in stored order.
class FileSystemScannerShallowIterator {
 public:
  static constexpr int links = 1;
  static constexpr int files = 2;
  static constexpr int folders = 4;
  static constexpr int unknowns = 8;

  FileSystemScannerShallowIterator() = default;
  FileSystemScannerShallowIterator(FileSystemScannerItemPtr item, int kind) : kind(kind), item(std::move(item)) {}
  FileSystemScannerItemPtr next();

  int kind = 0;
  FileSystemScannerItemPtr item;
  std::size_t linksIndex = 0;
  std::size_t filesIndex = 0;
  std::size_t foldersIndex = 0;
  std::size_t unknownsIndex = 0;
};

// Yields, depth first with subfolders in stored order, the children of the
// kinds selected of every node of the subtree, the start node included: a
// node's own children before those of its subfolders. Nothing recursive:
// an explicit stack of (next folder index, node).
class FileSystemScannerDeepIterator {
 public:
  FileSystemScannerDeepIterator(FileSystemScannerItemPtr item, int kind);
  FileSystemScannerItemPtr next();

  int kind;
  FileSystemScannerItemPtr item;
  std::vector<std::pair<std::size_t, FileSystemScannerItemPtr>> stack;
  FileSystemScannerShallowIterator current;
};

// A subtree and a mask of kinds; walked any number of times, each walk a
// new deep iterator. Also a range: for (const auto& node : sequence).
class FileSystemScannerSequence {
 public:
  FileSystemScannerSequence(FileSystemScannerItemPtr item, int kind) : kind(kind), item(std::move(item)) {}
  FileSystemScannerDeepIterator makeIterator() const { return FileSystemScannerDeepIterator(item, kind); }

  class Cursor {
   public:
    explicit Cursor(FileSystemScannerDeepIterator iterator) : iterator_(std::move(iterator)) { advance(); }
    const FileSystemScannerItemPtr& operator*() const { return node_; }
    Cursor& operator++() {
      advance();
      return *this;
    }
    bool operator!=(std::nullptr_t) const { return node_ != nullptr; }

   private:
    void advance() { node_ = iterator_.next(); }
    FileSystemScannerDeepIterator iterator_;
    FileSystemScannerItemPtr node_;
  };
  Cursor begin() const { return Cursor(makeIterator()); }
  std::nullptr_t end() const { return nullptr; }

  int kind;
  FileSystemScannerItemPtr item;
};

// Lists whole folder trees with a pool of folder operations: each lists
// `scanAmount` folders and hands the subfolders it found back as new
// operations, at most `threads` running at once. Every folder below a root
// is opened below the root's descriptor in one step that follows no link,
// so the trees hold only what lies inside the roots. When everything is
// listed, every folder gets the size of the files below it.
//
// `progress` counts the entries listed by every scan of this scanner.
class FileSystemScanner : public std::enable_shared_from_this<FileSystemScanner> {
 public:
  static constexpr const char* kSerialQueueLabel = "ConcurrentContainer.SerialQueue";

  // EINVAL for a thread count or batch size below 1, which could never run
  // or split the work.
  static platform::Result<std::shared_ptr<FileSystemScanner>> make(int threads, int scanAmount);

  // One tree per folder (host paths), in order, once listed and sized.
  std::vector<FileSystemScannerItemPtr> scan(const std::vector<platform::URL>& folders);
  // The same on a global queue; the callback runs there.
  void scan(const std::vector<platform::URL>& folders,
            std::function<void(std::vector<FileSystemScannerItemPtr>)> completionCallback);
  // Folders not started yet stay unlisted; running operations finish.
  void cancel();

  int threads() const { return operationQueue_->maxConcurrentOperationCount(); }
  void setThreads(int threads) { operationQueue_->setMaxConcurrentOperationCount(threads < 1 ? 1 : threads); }
  bool isSuspended() const { return operationQueue_->isSuspended(); }
  void setSuspended(bool suspended) { operationQueue_->setSuspended(suspended); }
  int scanAmount() const { return scanAmount_; }
  std::int64_t progress() const { return items_.load(); }
  bool isCancelled() const { return cancelled_.load(); }
  bool completed() const { return completed_.load(); }
  const std::shared_ptr<platform::OperationQueue>& operationQueue() const { return operationQueue_; }

  // Sums the sizes of a folder's subtree into it and answers its size.
  static std::int64_t updateSize(FileSystemScannerItem& item);
  // The index ranges a work list of `count` folders is cut into.
  static std::vector<std::pair<std::size_t, std::size_t>> ranges(std::size_t count, std::size_t scanAmount);

  // One folder to list: the root it lies in, its path below that root.
  struct WorkItem {
    std::shared_ptr<const platform::FileDescriptor> root;
    std::string relativePath;
    FileSystemScannerItemPtr node;
  };
  using WorkItems = std::shared_ptr<const std::vector<WorkItem>>;

  void enqueue(const WorkItems& workitems);
  void report(const FileSystemScannerItem& item);

 private:
  FileSystemScanner(int threads, int scanAmount);

  std::shared_ptr<platform::OperationQueue> operationQueue_;
  int scanAmount_;
  std::atomic<std::int64_t> items_{0};
  std::atomic<bool> completed_{false};
  std::atomic<bool> cancelled_{false};
};

// Lists the folders of one range of a work list, then queues the
// subfolders found.
class FolderScannerOperation : public platform::Operation {
 public:
  FolderScannerOperation(std::shared_ptr<FileSystemScanner> folderScanCoordinator, FileSystemScanner::WorkItems workitems,
                         std::pair<std::size_t, std::size_t> range)
      : range(range), workitems(std::move(workitems)), folderScanCoordinator(std::move(folderScanCoordinator)) {}

  void main() override;

  std::pair<std::size_t, std::size_t> range;
  FileSystemScanner::WorkItems workitems;
  std::shared_ptr<FileSystemScanner> folderScanCoordinator;
};

// One mounted volume's figures.
struct VolumeStatistics {
  std::int64_t resourceCount = 0;
  std::int64_t totalCapacity = 0;
  std::int64_t availableCapacity = 0;

  static constexpr const char* kResourceCountKey = "resourceCount";
  static constexpr const char* kTotalCapacityKey = "totalCapacity";
  static constexpr const char* kAvailableCapacityKey = "availableCapacity";

  // A dictionary of exactly the three keys.
  platform::Value::Dictionary encode() const;
  // Fails when the value is no dictionary, or a key is missing or not an
  // integer.
  static platform::Result<VolumeStatistics> decode(const platform::Value& value);
};

class Volumes {
 public:
  using Volume = std::pair<platform::URL, VolumeStatistics>;
  // The mounted volumes keyed by mount point: those whose figures can be
  // read and whose total capacity is above 0; of two at one mount point,
  // the one mounted later.
  static std::map<std::string, Volume> all();
  // The same from a mount table in the /proc/self/mountinfo format.
  static std::map<std::string, Volume> all(const std::string& mountInfoPath);
};

}  // namespace vozi
