#include "platform/DirectoryWatcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "support/TempRoot.h"

namespace vozi::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The reports of one watcher, as lines: "removed <path> [folder]" and
// "moved <from> -> <to|none>".
class Reports {
 public:
  DirectoryWatcher::Handlers handlers(const std::string& root) {
    DirectoryWatcher::Handlers handlers;
    handlers.removed = [this, root](const std::string& path, bool isFolder) {
      add("removed " + path.substr(root.size()) + (isFolder ? " [folder]" : ""));
    };
    handlers.moved = [this, root](const std::string& from, const std::optional<std::string>& to, bool) {
      add("moved " + from.substr(root.size()) + " -> " + (to ? to->substr(root.size()) : std::string("none")));
    };
    return handlers;
  }
  // Waits for a line; false when it never came (a safety net of a minute).
  bool waitFor(const std::string& line) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 60s, [&] { return std::find(lines_.begin(), lines_.end(), line) != lines_.end(); });
  }
  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  void add(std::string line) {
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(std::move(line));
    }
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

class DirectoryWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"/Applications/Tools", "/Users/bob/.Trash", "/Users/bob/Desktop", "/outside/data"})
      root.makeDirectory(folder);
    root.writeFile("/Applications/Foo.app/Contents/Info.plist", "<plist/>");
    root.writeFile("/Applications/notes.txt", "n");
    root.writeFile("/Applications/Tools/tool", "t");
    root.writeFile("/outside/data/secret", "s");
    ASSERT_EQ(::symlink((root / "/outside/data").c_str(), (root / "/Applications/linked").c_str()), 0);
    auto made = DirectoryWatcher::make(queue, reports.handlers(root.path()), {.skipsPackageContents = true},
                                       [this](const std::string& line) { logged.push_back(line); });
    ASSERT_TRUE(made);
    watcher = std::move(*made);
    ASSERT_TRUE(watcher->watchTree(root / "/Applications"));
    ASSERT_TRUE(watcher->watchFolder(root / "/Users/bob/.Trash"));
  }
  void TearDown() override {
    if (watcher) queue->sync([&] { watcher->stop(); });
  }
  // Every report queued so far has been delivered once a block queued after
  // a marker report is; the marker is a file removed last.
  std::vector<std::string> settle() {
    std::ofstream(root / "/Applications/marker") << "m";
    fs::remove(root / "/Applications/marker");
    EXPECT_TRUE(reports.waitFor("removed /Applications/marker"));
    auto lines = reports.lines();
    lines.pop_back();
    return lines;
  }

  test::TempRoot root;
  DispatchQueuePtr queue = DispatchQueue::serial("test.watcher");
  Reports reports;
  std::vector<std::string> logged;
  std::unique_ptr<DirectoryWatcher> watcher;
};

TEST_F(DirectoryWatcherTest, RemovalsAndMovesAreReportedInOrderAndPackagesAreOneItem) {
  using Lines = std::vector<std::string>;
  // Renamed within, moved into the watched Trash, then removed.
  fs::rename(root / "/Applications/notes.txt", root / "/Applications/Tools/notes.txt");
  fs::rename(root / "/Applications/Tools/notes.txt", root / "/Users/bob/.Trash/notes.txt");
  fs::remove(root / "/Applications/Tools/tool");
  // A bundle's contents are not watched: only the bundle is reported.
  fs::remove_all(root / "/Applications/Foo.app");
  // Under a link to a folder outside: nothing is watched there.
  fs::remove(root / "/outside/data/secret");
  EXPECT_EQ(settle(), (Lines{"moved /Applications/notes.txt -> /Applications/Tools/notes.txt",
                             "moved /Applications/Tools/notes.txt -> /Users/bob/.Trash/notes.txt",
                             "removed /Applications/Tools/tool", "removed /Applications/Foo.app [folder]"}));
}

TEST_F(DirectoryWatcherTest, FoldersThatAppearOrMoveInAreWatchedAndAMoveOutHasNoDestination) {
  root.makeDirectory("/Applications/New/Deeper");
  root.writeFile("/Applications/New/Deeper/Bar.app/x", "x");
  settle();  // the new folders are watched once their creation was read
  fs::remove_all(root / "/Applications/New/Deeper/Bar.app");
  ASSERT_TRUE(reports.waitFor("removed /Applications/New/Deeper/Bar.app [folder]"));

  // A renamed folder reports under its new name.
  fs::rename(root / "/Applications/New", root / "/Applications/Renamed");
  root.writeFile("/Applications/Renamed/Deeper/file", "f");
  fs::remove(root / "/Applications/Renamed/Deeper/file");
  ASSERT_TRUE(reports.waitFor("removed /Applications/Renamed/Deeper/file"));

  // Out of every watched folder: no destination, and no longer watched.
  fs::rename(root / "/Applications/Renamed", root / "/Users/bob/Desktop/Renamed");
  ASSERT_TRUE(reports.waitFor("moved /Applications/Renamed -> none"));
  fs::remove_all(root / "/Users/bob/Desktop/Renamed");
  const auto lines = settle();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("/Users/bob/Desktop") != std::string::npos; }),
            0);
  EXPECT_TRUE(logged.empty());
}

std::size_t openDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

TEST_F(DirectoryWatcherTest, StopLeavesNoThreadNorDescriptorAndNothingIsReportedAfterIt) {
  queue->sync([&] { watcher->stop(); });
  const std::size_t before = openDescriptors();
  watcher.reset();
  EXPECT_EQ(openDescriptors(), before);
  fs::remove(root / "/Applications/notes.txt");
  queue->sync([] {});
  EXPECT_TRUE(reports.lines().empty());

  // A new watcher reports again.
  auto made = DirectoryWatcher::make(queue, reports.handlers(root.path()), {});
  ASSERT_TRUE(made);
  watcher = std::move(*made);
  ASSERT_TRUE(watcher->watchTree(root / "/Applications"));
  fs::remove(root / "/Applications/Tools/tool");
  EXPECT_TRUE(reports.waitFor("removed /Applications/Tools/tool"));
}

}  // namespace
}  // namespace vozi::platform
