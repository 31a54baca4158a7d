// The directory watch against the floor of what it does.
//
// A tree of 10,000 folders holding 100,000 files (fewer when the kernel's
// max_user_watches is lower). Each round, interleaved:
// - start-up: DirectoryWatcher::watchTree over the tree against
//   `find <tree> -type d` listing the same folders;
// - removals: unlinking every file with the watcher running, from the first
//   unlink to the last removed(path) delivered on its queue, against the
//   same unlink loop with no watch.
// Reported: the medians and their ratios (targets: at most 2 and 1.3), and
// whether the event queue overflowed.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DirectoryWatcher.h"
#include "support/ChildProcess.h"
#include "support/TempRoot.h"

namespace {

using Clock = std::chrono::steady_clock;
using vozi::platform::DirectoryWatcher;
constexpr int kRounds = 5;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }
double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::size_t folderBudget() {
  std::ifstream in("/proc/sys/fs/inotify/max_user_watches");
  std::size_t limit = 0;
  in >> limit;
  // Room for the watches others hold.
  return std::min<std::size_t>(10000, limit > 2000 ? limit - 2000 : limit / 2);
}

struct Tree {
  std::string root;
  std::vector<std::string> files;
};

Tree makeFolders(const std::string& root, std::size_t folders) {
  Tree tree{root, {}};
  ::mkdir(root.c_str(), 0755);
  const std::size_t top = 100;
  for (std::size_t i = 0; i < folders; ++i) {
    const std::string folder = root + "/d" + std::to_string(i % top) + (i < top ? "" : "/e" + std::to_string(i));
    ::mkdir((root + "/d" + std::to_string(i % top)).c_str(), 0755);
    ::mkdir(folder.c_str(), 0755);
    for (int f = 0; f < 10; ++f) tree.files.push_back(folder + "/f" + std::to_string(f));
  }
  return tree;
}

void makeFiles(const Tree& tree) {
  for (const auto& file : tree.files) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
      (void)!::write(fd, "x", 1);
      ::close(fd);
    }
  }
}

void BM_DirectoryWatch(benchmark::State& state) {
  vozi::test::TempRoot temp;
  const Tree tree = makeFolders(temp.path() + "/tree", folderBudget());
  makeFiles(tree);
  auto queue = vozi::platform::DispatchQueue::serial("bench.watch");
  std::vector<double> findTimes, startTimes, unlinkTimes, watchedTimes;
  std::atomic<bool> overflowed{false};

  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      auto start = Clock::now();
      const pid_t find = vozi::test::spawnProcess("/usr/bin/find", {tree.root, "-type", "d", "-fprint", "/dev/null"});
      vozi::test::reapProcess(find);
      findTimes.push_back(seconds(start));

      std::mutex mutex;
      std::condition_variable done;
      std::size_t removed = 0;
      DirectoryWatcher::Handlers handlers;
      handlers.removed = [&](const std::string&, bool) {
        std::lock_guard lock(mutex);
        if (++removed == tree.files.size()) done.notify_all();
      };
      start = Clock::now();
      auto watcher = DirectoryWatcher::make(queue, handlers, {}, [&](const std::string& line) {
        if (line.find("overflow") != std::string::npos) overflowed = true;
      });
      if (!watcher) {
        state.SkipWithError(("no watcher: " + watcher.error().localizedDescription()).c_str());
        return;
      }
      if (auto watched = (*watcher)->watchTree(tree.root); !watched) {
        state.SkipWithError(("cannot watch: " + watched.error().localizedDescription()).c_str());
        return;
      }
      startTimes.push_back(seconds(start));

      start = Clock::now();
      for (const auto& file : tree.files) ::unlink(file.c_str());
      {
        std::unique_lock lock(mutex);
        done.wait_for(lock, std::chrono::seconds(120), [&] { return removed == tree.files.size(); });
      }
      watchedTimes.push_back(seconds(start));
      queue->sync([&] { (*watcher)->stop(); });

      makeFiles(tree);
      start = Clock::now();
      for (const auto& file : tree.files) ::unlink(file.c_str());
      unlinkTimes.push_back(seconds(start));
      makeFiles(tree);
    }
  }
  state.counters["folders"] = static_cast<double>(tree.files.size() / 10);
  state.counters["files"] = static_cast<double>(tree.files.size());
  state.counters["find_s"] = median(findTimes);
  state.counters["watch_start_s"] = median(startTimes);
  state.counters["start_ratio"] = median(startTimes) / median(findTimes);
  state.counters["unlink_s"] = median(unlinkTimes);
  state.counters["unlink_watched_s"] = median(watchedTimes);
  state.counters["removal_ratio"] = median(watchedTimes) / median(unlinkTimes);
  state.counters["overflowed"] = overflowed ? 1 : 0;
}

BENCHMARK(BM_DirectoryWatch)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
