#include "platform/DirectoryWatcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/FilePackage.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"

namespace vozi::platform {

namespace {

constexpr std::uint32_t kMask = IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DONT_FOLLOW | IN_ONLYDIR;

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

Result<std::unique_ptr<DirectoryWatcher>> DirectoryWatcher::make(DispatchQueuePtr queue, Handlers handlers,
                                                                  Options options, Log log) {
  const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify < 0) return PosixError::make(errno, "inotify");
  const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake < 0) {
    const int code = errno;
    ::close(inotify);
    return PosixError::make(code, "eventfd");
  }
  std::unique_ptr<DirectoryWatcher> watcher(
      new DirectoryWatcher(std::move(queue), std::move(handlers), options, std::move(log), inotify, wake));
  watcher->thread_ = std::thread([raw = watcher.get()] { raw->run(); });
  return watcher;
}

DirectoryWatcher::DirectoryWatcher(DispatchQueuePtr queue, Handlers handlers, Options options, Log log, int inotify,
                                   int wake)
    : queue_(std::move(queue)),
      handlers_(std::make_shared<const Handlers>(std::move(handlers))),
      options_(options),
      log_(std::move(log)),
      inotify_(inotify),
      wake_(wake) {}

DirectoryWatcher::~DirectoryWatcher() { stop(); }

void DirectoryWatcher::stop() {
  *reporting_ = false;
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
  }
  if (inotify_ >= 0) ::close(inotify_);
  if (wake_ >= 0) ::close(wake_);
  inotify_ = wake_ = -1;
  std::lock_guard lock(mutex_);
  watches_.clear();
  byPath_.clear();
}

std::size_t DirectoryWatcher::watchCount() const {
  std::lock_guard lock(mutex_);
  return watches_.size();
}

Result<void> DirectoryWatcher::watchTree(const std::string& folder) {
  {
    std::lock_guard lock(mutex_);
    roots_.emplace_back(folder, true);
  }
  if (auto added = add(folder, true); !added) return added;
  addTree(folder);
  return {};
}

Result<void> DirectoryWatcher::watchFolder(const std::string& folder) {
  {
    std::lock_guard lock(mutex_);
    roots_.emplace_back(folder, false);
  }
  return add(folder, false);
}

Result<void> DirectoryWatcher::add(const std::string& folder, bool tree) {
  std::lock_guard lock(mutex_);
  if (inotify_ < 0) return PosixError::make(EBADF, folder);
  const int wd = ::inotify_add_watch(inotify_, folder.c_str(), kMask);
  if (wd < 0) {
    const int code = errno;
    if (code == ENOSPC && !limitLogged_) {
      limitLogged_ = true;
      log("the kernel's limit of watches refuses " + folder + " (and may refuse more): it is not watched");
    }
    return PosixError::make(code, folder);
  }
  watches_[wd] = Watch{folder, tree};
  byPath_[folder] = wd;
  return {};
}

void DirectoryWatcher::addTree(const std::string& folder) {
  // Each folder is watched before it is listed, so that what appears while
  // it is listed is seen one way or the other.
  std::vector<std::string> left{folder};
  while (!left.empty()) {
    const std::string current = std::move(left.back());
    left.pop_back();
    const int fd = ::open(current.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    DIR* listing = ::fdopendir(fd);
    if (!listing) {
      ::close(fd);
      continue;
    }
    while (const dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      bool isFolder = entry->d_type == DT_DIR;
      if (entry->d_type == DT_UNKNOWN) {
        struct stat info {};
        isFolder = ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
      }
      if (!isFolder) continue;
      if (options_.skipsPackageContents && FilePackage::hasPackageExtension(name)) continue;
      const std::string child = current + "/" + name;
      if (add(child, true)) left.push_back(child);
    }
    ::closedir(listing);
  }
}

void DirectoryWatcher::dropUnder(const std::string& folder) {
  std::lock_guard lock(mutex_);
  for (auto it = watches_.begin(); it != watches_.end();) {
    if (PathComponents::isSameOrInside(it->second.path, folder)) {
      ::inotify_rm_watch(inotify_, it->first);
      byPath_.erase(it->second.path);
      it = watches_.erase(it);
    } else {
      ++it;
    }
  }
}

void DirectoryWatcher::renameUnder(const std::string& from, const std::string& to) {
  std::lock_guard lock(mutex_);
  for (auto& [wd, watch] : watches_) {
    if (!PathComponents::isSameOrInside(watch.path, from)) continue;
    byPath_.erase(watch.path);
    watch.path = to + watch.path.substr(from.size());
    byPath_[watch.path] = wd;
  }
}

void DirectoryWatcher::rebuild() {
  std::vector<std::pair<std::string, bool>> roots;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [wd, watch] : watches_) ::inotify_rm_watch(inotify_, wd);
    watches_.clear();
    byPath_.clear();
    roots = roots_;
  }
  for (const auto& [folder, tree] : roots) {
    if (!add(folder, tree)) continue;
    if (tree) addTree(folder);
  }
}

void DirectoryWatcher::report(std::function<void(const Handlers&)> call) { batch_.push_back(std::move(call)); }

void DirectoryWatcher::flushReports() {
  if (batch_.empty()) return;
  // One block per read of the kernel's queue, not one per event.
  queue_->async([alive = reporting_, handlers = handlers_, calls = std::move(batch_)] {
    for (const auto& call : calls) {
      // Checked on the owner's queue, where stop() runs: once it has,
      // nothing is reported.
      if (!*alive) return;
      call(*handlers);
    }
  });
  batch_.clear();
}

void DirectoryWatcher::log(const std::string& line) const {
  if (log_) log_(line);
}

void DirectoryWatcher::run() {
  pthread_setname_np(pthread_self(), "vozi.DirectoryWatcher");
  for (;;) {
    int timeout = -1;
    if (!pending_.empty()) {
      const auto first = std::min_element(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) {
                           return a.deadline < b.deadline;
                         })->deadline;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(first - std::chrono::steady_clock::now());
      timeout = static_cast<int>(std::max<long long>(0, left.count() + 1));
    }
    pollfd fds[2] = {{inotify_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    if (fds[0].revents != 0) readEvents();
    flushPendingMoves(false);
    flushReports();
  }
}

void DirectoryWatcher::flushPendingMoves(bool all) {
  const auto now = std::chrono::steady_clock::now();
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (!all && it->deadline > now) {
      ++it;
      continue;
    }
    const PendingMove move = *it;
    it = pending_.erase(it);
    if (move.isFolder) dropUnder(move.from);
    report([move](const Handlers& handlers) {
      if (handlers.moved) handlers.moved(move.from, std::nullopt, move.isFolder);
    });
  }
}

void DirectoryWatcher::readEvents() {
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
    if (got <= 0) return;
    for (ssize_t offset = 0; offset < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        log("the watch lost events (its queue overflowed): every folder is watched again");
        flushPendingMoves(true);
        rebuild();
        continue;
      }
      Watch watch;
      bool parentWatched = false;
      {
        std::lock_guard lock(mutex_);
        const auto found = watches_.find(event->wd);
        if (found == watches_.end()) continue;
        watch = found->second;
        if (event->mask & IN_IGNORED) {
          if (const auto path = byPath_.find(watch.path); path != byPath_.end() && path->second == event->wd)
            byPath_.erase(path);
          watches_.erase(found);
          continue;
        }
        parentWatched = byPath_.count(parentOf(watch.path)) != 0;
      }
      const bool isFolder = (event->mask & IN_ISDIR) != 0;
      const std::string name = event->len ? std::string(event->name) : std::string();
      const std::string path = name.empty() ? watch.path : watch.path + "/" + name;
      const bool package = options_.skipsPackageContents && FilePackage::hasPackageExtension(name);

      if (event->mask & IN_CREATE) {
        if (isFolder && watch.tree && !package) {
          if (add(path, true)) addTree(path);
        }
      } else if (event->mask & IN_DELETE) {
        report([path, isFolder](const Handlers& handlers) {
          if (handlers.removed) handlers.removed(path, isFolder);
        });
      } else if (event->mask & IN_DELETE_SELF) {
        // A watched folder's parent reports it already, unless the folder
        // is where watching begins.
        if (!parentWatched) {
          report([path](const Handlers& handlers) {
            if (handlers.removed) handlers.removed(path, true);
          });
        }
      } else if (event->mask & IN_MOVED_FROM) {
        pending_.push_back(PendingMove{event->cookie, path, isFolder,
                                       std::chrono::steady_clock::now() + kMovePairing});
      } else if (event->mask & IN_MOVED_TO) {
        const auto pair = std::find_if(pending_.begin(), pending_.end(),
                                       [&](const PendingMove& move) { return move.cookie == event->cookie; });
        if (pair != pending_.end()) {
          const PendingMove move = *pair;
          pending_.erase(pair);
          if (move.isFolder) {
            bool watched;
            {
              std::lock_guard lock(mutex_);
              watched = byPath_.count(move.from) != 0;
            }
            if (!(watch.tree && !package)) {
              dropUnder(move.from);
            } else if (watched) {
              renameUnder(move.from, path);
            } else if (add(path, true)) {
              addTree(path);
            }
          }
          report([move, path](const Handlers& handlers) {
            if (handlers.moved) handlers.moved(move.from, path, move.isFolder);
          });
        } else if (isFolder && watch.tree && !package) {
          // Moved in from outside the watched folders: watched from now on.
          if (add(path, true)) addTree(path);
        }
      }
    }
  }
}

}  // namespace vozi::platform
