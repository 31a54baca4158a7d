#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/Result.h"

namespace vozi::platform {

// Watches folders for items removed from them and moved out of, into or
// within them (inotify, one descriptor, one thread named
// "vozi.DirectoryWatcher"). Reports reach the owner's queue in the order
// the kernel gave them:
//   removed(path, isFolder)           an item was deleted;
//   moved(from, to, isFolder)         an item moved, `to` none when it left
//                                     the watched folders (no paired arrival
//                                     within kMovePairing).
// Paths are host paths, as the folders were given.
//
// watchTree() watches a folder and every folder below it, and folders as
// they appear or move in; a folder that moves out is no longer watched, a
// renamed one reports under its new name. watchFolder() watches one folder
// alone. The watch never follows a link, and with skipsPackageContents a
// package (an application bundle...) is one item of its parent: its
// contents cost no watch and are not reported. A folder the kernel's watch
// limit refuses is logged once; a lost event queue (overflow) is logged and
// every watch is made again.
//
// Reported paths are only ever text: nothing here opens what a report names.
//
// watch...() and stop() belong to the owner's queue. stop() returns once
// the thread has ended and the descriptors are closed; no report runs after
// it (the owner's queue, which stop() is called on, drops the ones queued).
class DirectoryWatcher {
 public:
  static constexpr std::chrono::milliseconds kMovePairing{50};

  struct Handlers {
    std::function<void(const std::string& path, bool isFolder)> removed;
    std::function<void(const std::string& from, const std::optional<std::string>& to, bool isFolder)> moved;
  };
  struct Options {
    bool skipsPackageContents = false;
  };
  // A log line of the watcher (a refused or lost watch).
  using Log = std::function<void(const std::string& line)>;

  static Result<std::unique_ptr<DirectoryWatcher>> make(DispatchQueuePtr queue, Handlers handlers, Options options,
                                                        Log log = {});
  ~DirectoryWatcher();
  DirectoryWatcher(const DirectoryWatcher&) = delete;
  DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

  Result<void> watchTree(const std::string& folder);
  Result<void> watchFolder(const std::string& folder);
  void stop();

  // Folders watched now (for tests).
  std::size_t watchCount() const;

 private:
  struct Watch {
    std::string path;
    bool tree = false;
  };
  struct PendingMove {
    std::uint32_t cookie = 0;
    std::string from;
    bool isFolder = false;
    std::chrono::steady_clock::time_point deadline;
  };

  DirectoryWatcher(DispatchQueuePtr queue, Handlers handlers, Options options, Log log, int inotify, int wake);
  void run();
  void readEvents();
  Result<void> add(const std::string& folder, bool tree);
  // Watches the folder and, for a tree, every folder below it.
  void addTree(const std::string& folder);
  void dropUnder(const std::string& folder);
  void renameUnder(const std::string& from, const std::string& to);
  void flushPendingMoves(bool all);
  // Reports wait in a batch, handed to the owner's queue after each read.
  void report(std::function<void(const Handlers&)> call);
  void flushReports();
  void rebuild();
  void log(const std::string& line) const;

  const DispatchQueuePtr queue_;
  const std::shared_ptr<const Handlers> handlers_;
  const Options options_;
  const Log log_;
  int inotify_ = -1;
  int wake_ = -1;
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> reporting_ = std::make_shared<std::atomic<bool>>(true);

  mutable std::mutex mutex_;  // the watches: changed by the owner and by the thread
  std::map<int, Watch> watches_;
  std::map<std::string, int> byPath_;
  std::vector<std::pair<std::string, bool>> roots_;
  bool limitLogged_ = false;

  std::vector<PendingMove> pending_;  // only on the thread
  std::vector<std::function<void(const Handlers&)>> batch_;  // only on the thread
};

}  // namespace vozi::platform
