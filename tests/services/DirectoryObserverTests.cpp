#include "services/DirectoryObserver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "support/EventCounter.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

// What the observer's three handlers heard.
struct Heard {
  std::mutex mutex;
  std::vector<std::string> lines;
  test::EventCounter count;
  void add(std::string line) {
    {
      std::lock_guard lock(mutex);
      lines.push_back(std::move(line));
    }
    count.add();
  }
};

void observe(DirectoryObserver& observer, Heard& heard, const std::string& root) {
  observer.setMoveItemHandelr([&heard, root](const std::string& from, const std::optional<std::string>& to) {
    heard.add("move " + from.substr(root.size()) + " -> " + (to ? to->substr(root.size()) : "none"));
  });
  observer.setDeleteItemHandler([&heard, root](const std::string& path, bool) { heard.add("delete " + path.substr(root.size())); });
  observer.setTrashItemHandler([&heard, root](const std::string& path, bool) { heard.add("trash " + path.substr(root.size())); });
}

TEST(DirectoryObserverTest, AMoveIntoATrashIsAMoveThenATrashingAndTheTrashItselfIsNotReported) {
  test::TempRoot root;
  test::MacTree tree(root);
  test::LogCapture log;
  tree.addUser("bob").addApplication("Foo", "com.example.foo").addFile("/Applications/notes.txt", 1);
  tree.addFile("/Users/bob/.Trash/old.txt", 1);
  auto queue = platform::DispatchQueue::serial("test.observer");
  DirectoryObserver observer(root / "/Applications", queue);
  Heard heard;
  observe(observer, heard, root.path());
  queue->sync([&] { observer.start(); });

  fs::rename(root / "/Applications/Foo.app", root / "/Users/bob/.Trash/Foo.app");
  fs::remove(root / "/Users/bob/.Trash/old.txt");  // inside the Trash: not the observer's
  fs::remove(root / "/Applications/notes.txt");
  ASSERT_TRUE(heard.count.waitFor(3));
  queue->sync([&] { observer.stop(); });
  std::lock_guard lock(heard.mutex);
  EXPECT_EQ(heard.lines, (std::vector<std::string>{"move /Applications/Foo.app -> /Users/bob/.Trash/Foo.app",
                                                   "trash /Applications/Foo.app", "delete /Applications/notes.txt"}));
  EXPECT_EQ(log.count("seems item did move to trash! from:"), 1u);
}

// The ".Trash" test reads the tree path: a host root that itself lies in a
// Trash makes no move look trashed.
TEST(DirectoryObserverTest, AHostRootInsideATrashFolderDoesNotMakeEveryMoveATrashing) {
  test::TempRoot outer;
  const std::string inside = outer / "/.Trash/machine";
  auto root = test::TempRoot::kept(inside);
  test::MacTree tree(root);
  tree.addUser("bob").addDirectory("/Applications/Old").addFile("/Applications/notes.txt", 1);
  auto queue = platform::DispatchQueue::serial("test.observer");
  DirectoryObserver observer(root / "/Applications", queue);
  Heard heard;
  observe(observer, heard, root.path());
  queue->sync([&] { observer.start(); });
  fs::rename(root / "/Applications/notes.txt", root / "/Applications/Old/notes.txt");
  ASSERT_TRUE(heard.count.waitFor(1));
  queue->sync([&] { observer.stop(); });
  std::lock_guard lock(heard.mutex);
  EXPECT_EQ(heard.lines, std::vector<std::string>{"move /Applications/notes.txt -> /Applications/Old/notes.txt"});
}

}  // namespace
}  // namespace vozi
