#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileManager.h"
#include "common/FileManagerAdditions.h"
#include "platform/DirectoryWalker.h"
#include "platform/TreePath.h"
#include "support/FolderLinkSwapper.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/ScopedProcessUser.h"
#include "support/ScopedResolution.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using platform::DirectoryWalker;
using platform::TreePath;
using platform::WalkAction;
using test::MacTree;
using test::ScopedProcessUser;
using test::TempRoot;
using Options = platform::DirectoryEnumerationOptions;
using Keys = platform::ResourceKeys;

constexpr std::uint64_t kOutsideSize = std::uint64_t(1) << 30;

// What a walk form saw: every name or path it reported, and the bytes it
// counted.
struct Seen {
  std::vector<std::string> items;
  std::uint64_t bytes = 0;

  std::size_t outsideItems() const {
    std::size_t count = 0;
    for (const auto& item : items) count += item.find("outside-") != std::string::npos;
    return count;
  }
  bool has(const std::string& name) const {
    for (const auto& item : items)
      if (item.find(name) != std::string::npos) return true;
    return false;
  }
};

const FileManager& manager() { return FileManager::defaultManager(); }

void add(Seen& seen, const std::string& path, const std::optional<platform::ResourceValues>& values) {
  seen.items.push_back(path);
  if (values && values->fileSize) seen.bytes += *values->fileSize;
}

// Every way the daemon walks, sizes, counts, lists or searches a set of roots.
struct WalkForm {
  const char* name;
  bool reportsFiles;       // whether the files it meets are among its items
  bool comparesTwoWalks;   // whether it checks one walk against another
  std::function<Seen(const std::vector<std::string>&)> run;
};

const WalkForm kWalkForms[] = {
    {"platform walker", true, false,
     [](const std::vector<std::string>& roots) {
       Seen seen;
       for (const auto& root : roots)
         (void)DirectoryWalker::walk(root, Options::None, [&](const DirectoryWalker::Entry& entry) {
           add(seen, entry.path(), entry.resourceValues(Keys::FileSize));
           return WalkAction::Continue;
         });
       return seen;
     }},
    {"plain enumerate", true, false,
     [](const std::vector<std::string>& roots) {
       Seen seen;
       manager().enumerate(roots, Keys::FileSize, Options::None,
                           [&](const std::string& path, const auto& values) { add(seen, path, values); });
       return seen;
     }},
    {"steerable enumerate", true, false,
     [](const std::vector<std::string>& roots) {
       Seen seen;
       manager().enumerate(
           roots, Keys::FileSize, Options::None, [&](const std::string& path, const auto& values) { add(seen, path, values); },
           [](const std::string&) { return FileManagerEnumerationAction::continueEnumeration; });
       return seen;
     }},
    {"directory size", false, false,
     [](const std::vector<std::string>& roots) {
       Seen seen;
       for (const auto& root : roots) seen.bytes += FileManager::directorySize(root);
       return seen;
     }},
    {"number of paths", true, true,
     [](const std::vector<std::string>& roots) {
       // Counted like the steerable walk, which sees no outside item: any
       // more would be outside ones.
       Seen seen;
       manager().enumerate(
           roots, Keys::None, Options::None, [&](const std::string& path, const auto&) { seen.items.push_back(path); },
           [](const std::string&) { return FileManagerEnumerationAction::continueEnumeration; });
       const std::uint64_t counted = manager().numberOfPaths(roots, Options::None);
       for (std::uint64_t extra = seen.items.size(); extra < counted; ++extra) seen.items.push_back("outside-counted");
       return seen;
     }},
    {"listings", true, false,
     [](const std::vector<std::string>& roots) {
       Seen seen;
       for (const auto& root : roots) {
         for (const auto& names : {manager().contentsOfDirectory(root), manager().subpathsOfDirectory(root),
                                   manager().contentOfDirectory(root)})
           if (names) seen.items.insert(seen.items.end(), names->begin(), names->end());
       }
       const auto below = manager().filesAt(roots);
       seen.items.insert(seen.items.end(), below.begin(), below.end());
       return seen;
     }},
    {"find", false, false,
     [](const std::vector<std::string>& roots) {
       Seen seen;
       for (const auto& root : roots)
         for (const auto& found : FileManagerAdditions::findDirs(manager(), root, "/"))
           seen.items.push_back(found);
       return seen;
     }},
};

// bob's folders, with an outside folder that mirrors them (every file in it
// named "outside-..." and one gigabyte long, without taking disk space).
struct LinkedTree {
  LinkedTree() {
    tree.addUser("bob")
        .addContainer("bob", "com.a.one")
        .addFile("/Users/bob/Library/Caches/inside-cache", 10)
        .addFile("/Users/bob/Library/Logs/inside-log", 10)
        .addFile("/Users/bob/Library/Mail Downloads/inside-mail", 10)
        .addFile("/Users/bob/Library/Preferences/inside-preference", 10)
        .addFile("/Users/bob/Library/Containers/com.a.one/Data/Library/Caches/inside-container", 10)
        .addFile("/Users/bob/tmp/inside-user-tmp", 10)
        .addFile("/private/tmp/inside-tmp", 10);
    for (const char* folder : {"", "/Library", "/Library/Caches", "/Library/Logs", "/Library/Mail Downloads",
                               "/Library/Containers/com.z/Data/Library/Caches", "/Caches", "/Data/Library/Caches",
                               "/Data/Library/Logs", "/tmp"})
      tree.addSparseFile(std::string("/outside") + folder + "/outside-file", kOutsideSize);
  }

  // Puts a link where a folder was, as a user could.
  void replaceWithLink(const std::string& treePath, const std::string& target) {
    std::filesystem::remove_all(root / treePath);
    tree.addSymlink(treePath, target);
  }

  TempRoot root;
  MacTree tree{root};
};

// The roots of every list the locator gives for bob.
std::vector<std::string> locatorRoots() {
  std::vector<std::string> roots;
  for (const auto& list : {FileManagerAdditions::usersLibrary("bob"), FileManagerAdditions::usersCache("bob"),
                           FileManagerAdditions::userLogsPaths("bob"), FileManagerAdditions::usersMailAttachment("bob"),
                           FileManagerAdditions::leftoversDirectories("bob", manager()),
                           FileManagerAdditions::temporary("bob")})
    roots.insert(roots.end(), list.begin(), list.end());
  return roots;
}

TEST(LinkedTreeTest, NoWalkFormLeavesTheTreeThroughALinkAtAnyLevel) {
  ScopedProcessUser processUser("root");
  struct Case {
    const char* label;
    std::function<void(LinkedTree&)> plant;
    const char* suffix;                   // appended to every root
    std::vector<std::string> stillFound;  // inside items the walks must still reach
  };
  const Case cases[] = {
      {"no link: the layout's /tmp link still works", [](LinkedTree&) {}, "",
       {"inside-cache", "inside-log", "inside-mail", "inside-preference", "inside-container", "inside-user-tmp",
        "inside-tmp"}},
      {"the home", [](LinkedTree& t) { t.replaceWithLink("/Users/bob", t.root / "/outside"); }, "", {"inside-tmp"}},
      {"Library", [](LinkedTree& t) { t.replaceWithLink("/Users/bob/Library", t.root / "/outside/Library"); }, "",
       {"inside-user-tmp", "inside-tmp"}},
      {"Library/Caches", [](LinkedTree& t) { t.replaceWithLink("/Users/bob/Library/Caches", "../../../outside/Caches"); },
       "", {"inside-log", "inside-container", "inside-tmp"}},
      {"a container's Data",
       [](LinkedTree& t) {
         t.replaceWithLink("/Users/bob/Library/Containers/com.a.one/Data", t.root / "/outside/Data");
       },
       "", {"inside-cache", "inside-log"}},
      {"/tmp through another link", [](LinkedTree& t) { t.replaceWithLink("/private", t.root / "/outside"); }, "",
       {"inside-cache", "inside-user-tmp"}},
      {"/tmp holding other text",
       [](LinkedTree& t) {
         t.replaceWithLink("/tmp", "elsewhere/tmp");
         t.tree.addSymlink("/elsewhere", t.root / "/outside");
       },
       "", {"inside-cache", "inside-user-tmp"}},
      {"roots ending in /.",
       [](LinkedTree& t) { t.replaceWithLink("/Users/bob/Library/Caches", t.root / "/outside/Caches"); }, "/.", {}},
  };
  for (const bool openat2 : test::ScopedResolution::kBothWays) {
    test::ScopedResolution resolution(openat2);
    for (const Case& c : cases) {
      LinkedTree tree;
      c.plant(tree);
      std::vector<std::string> roots = locatorRoots();
      for (auto& root : roots) root += c.suffix;
      for (const WalkForm& form : kWalkForms) {
        SCOPED_TRACE(std::string(test::ScopedResolution::name(openat2)) + ", " + c.label + ", " + form.name);
        const Seen seen = form.run(roots);
        EXPECT_EQ(seen.outsideItems(), 0u);
        EXPECT_LT(seen.bytes, kOutsideSize);
        if (!form.reportsFiles) continue;
        for (const auto& name : c.stillFound) EXPECT_TRUE(seen.has(name)) << name;
      }
    }
  }
}

TEST(LinkedTreeTest, ALinkOnTheWayToARootIsLoggedWithThePath) {
  LinkedTree tree;
  tree.replaceWithLink("/Users/bob/Library", tree.root / "/outside/Library");
  test::LogCapture log;
  std::vector<std::string> failed;
  manager().enumerate({tree.root / "/Users/bob/Library/Caches"}, Keys::None, Options::None,
                      [](const std::string&, const auto&) { ADD_FAILURE() << "nothing may be reported"; },
                      [&](const std::string& path, const platform::Error&) {
                        failed.push_back(path);
                        return true;
                      });
  EXPECT_EQ(failed, std::vector<std::string>{tree.root / "/Users/bob/Library/Caches"});
  EXPECT_EQ(log.count(tree.root / "/Users/bob/Library"), 1u);
  EXPECT_EQ(FileManager::directorySize(tree.root / "/Users/bob/Library/Caches"), 0u);
}

// A second thread swaps bob's Library for a link to the outside folder a
// fixed number of times while every walk form goes over bob's lists.
TEST(LinkedTreeTest, SwappingLibraryForALinkDuringWalksNeverLeadsOutside) {
  ScopedProcessUser processUser("root");
  LinkedTree tree;
  const std::string library = tree.root / "/Users/bob/Library";
  const std::string outside = tree.root / "/outside/Library";
  const std::vector<std::string> roots = locatorRoots();
  for (const bool openat2 : test::ScopedResolution::kBothWays) {
    test::ScopedResolution resolution(openat2);
    test::FolderLinkSwapper swapper(library, outside, 100);
    std::size_t outsideItems = 0;
    std::string firstOutside;
    std::uint64_t maxBytes = 0;
    do {
      for (const WalkForm& form : kWalkForms) {
        // Two walks of a tree that changes between them count differently.
        if (form.comparesTwoWalks) continue;
        const Seen seen = form.run(roots);
        outsideItems += seen.outsideItems();
        if (seen.outsideItems() && firstOutside.empty()) firstOutside = std::string(form.name) + ": " + seen.items.front();
        maxBytes = std::max(maxBytes, seen.bytes);
      }
    } while (!swapper.done());
    EXPECT_EQ(outsideItems, 0u) << test::ScopedResolution::name(openat2) << ", " << firstOutside;
    EXPECT_LT(maxBytes, kOutsideSize) << test::ScopedResolution::name(openat2);
    ASSERT_TRUE(std::filesystem::is_directory(library));
  }
}

}  // namespace
}  // namespace vozi
