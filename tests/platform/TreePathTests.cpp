#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/DirectoryWalker.h"
#include "platform/ResourceValues.h"
#include "platform/Sha256.h"
#include "platform/TreePath.h"
#include "support/FolderLinkSwapper.h"
#include "support/MacTree.h"
#include "support/ScopedResolution.h"
#include "support/TempRoot.h"

namespace vozi::platform {
namespace {

using test::MacTree;
using test::TempRoot;

using ResolutionMode = test::ScopedResolution;
const char* modeName(bool openat2) { return test::ScopedResolution::name(openat2); }

bool sameItem(int fd, const std::string& path) {
  struct stat opened {}, expected {};
  return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &expected) == 0 && opened.st_dev == expected.st_dev &&
         opened.st_ino == expected.st_ino;
}

// A user's folders with a link planted at several levels, each leading to
// a folder outside the user's tree, and the layout's own "/tmp" link.
class TreePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.addUser("bob")
        .addContainer("bob", "com.a.one")
        .addFile("/Users/bob/Library/Caches/file", 3)
        .addFile("/private/tmp/inside", 1)
        .addFile("/outside/Caches/secret", 5)
        .addUser("eve")
        .addUser("mal")
        .addSymlink("/Users/bob/Library/Containers/com.a.one/Data/Library/Caches/link", root / "/outside")
        .addSymlink("/Users/bob/elsewhere", root / "/outside")
        .addSymlink("/Users/bob/tmp", "private/tmp")
        .addSymlink("/etc", root / "/outside");
    replaceWithLink("/Users/eve/Library", root / "/outside");
    replaceWithLink("/Users/mal", "../outside");
  }

  void replaceWithLink(const std::string& treePath, const std::string& target) {
    std::filesystem::remove_all(root / treePath);
    tree.addSymlink(treePath, target);
  }

  TempRoot root;
  MacTree tree{root};
};

TEST_F(TreePathTest, OpensFoldersWithoutAnyLinkButTheLayoutsOwn) {
  struct Case {
    std::string path;
    std::optional<std::string> opens;  // the host path of the folder opened, or none
    int code = 0;                      // the error when none
    std::string stopsAt = {};          // the tree path an error names, when not the path itself
  };
  const Case cases[] = {
      {root / "/Users/bob/Library/Caches", root / "/Users/bob/Library/Caches"},
      {root / "/Users/bob/Library/Caches/", root / "/Users/bob/Library/Caches"},
      {root.path(), root.path()},
      {root / "/tmp", root / "/private/tmp"},
      {root / "/tmp/", root / "/private/tmp"},
      {root / "/Users/eve/Library/Caches", std::nullopt, ELOOP, "/Users/eve/Library"},
      {root / "/Users/eve/Library", std::nullopt, ELOOP},
      {root / "/Users/mal/Caches", std::nullopt, ELOOP, "/Users/mal"},
      {root / "/Users/bob/elsewhere/Caches", std::nullopt, ELOOP, "/Users/bob/elsewhere"},
      {root / "/Users/bob/Library/Containers/com.a.one/Data/Library/Caches/link", std::nullopt, ELOOP},
      {root / "/Users/bob/tmp", std::nullopt, ELOOP},  // the layout's text, but not under the root
      {root / "/etc", std::nullopt, ELOOP},            // under the root, with other text
      {root / "/Users/bob/Library/Caches/.", std::nullopt, EINVAL},
      {root / "/Users/bob/Library/./Caches", std::nullopt, EINVAL},
      {root / "/Users/eve/../bob", std::nullopt, EINVAL},
      {root / "/Users//bob", std::nullopt, EINVAL},
      {"Users/bob", std::nullopt, EINVAL},
      {"", std::nullopt, ENOENT},
      {root / "/Users/nobody/Library", std::nullopt, ENOENT, "/Users/nobody"},
      {root / "/Users/bob/Library/Caches/file", std::nullopt, ENOTDIR},
  };
  for (const bool openat2 : test::ScopedResolution::kBothWays) {
    ResolutionMode mode(openat2);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(modeName(openat2)) + ": " + c.path);
      auto folder = TreePath::openFolder(c.path);
      ASSERT_EQ(folder.ok(), c.opens.has_value()) << (folder ? "" : folder.error().localizedDescription());
      if (folder) {
        EXPECT_TRUE(sameItem(folder->descriptor.get(), *c.opens));
      } else {
        EXPECT_EQ(folder.error().code, c.code);
        // The description names where the walk stopped: the link.
        const std::string stopsAt = c.stopsAt.empty() ? c.path : root / c.stopsAt;
        EXPECT_NE(folder.error().localizedDescription().find(stopsAt), std::string::npos)
            << folder.error().localizedDescription();
      }
    }
  }
}

TEST_F(TreePathTest, AnItemIsOpenedOnlyWhenItIsARealFolder) {
  struct Case {
    std::string treePath;
    bool opens;
    bool folder;
  };
  const Case cases[] = {
      {"/Users/bob/Library", true, true},
      {"/Users/bob/Library/Caches/file", true, false},
      {"/Users/bob/elsewhere", true, false},  // the link itself, not its target
      {"/Users/eve/Library", true, false},
      {"/Users/eve/Library/Caches", false, false},
      {"/Users/bob/missing", false, false},
      {"/", true, true},
  };
  for (const bool openat2 : test::ScopedResolution::kBothWays) {
    ResolutionMode mode(openat2);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(modeName(openat2)) + ": " + c.treePath);
      auto item = TreePath::openItem(c.treePath == "/" ? root.path() : root / c.treePath);
      ASSERT_EQ(item.ok(), c.opens);
      if (!item) continue;
      EXPECT_EQ(static_cast<bool>(item->folder), c.folder);
      if (c.folder) {
        EXPECT_TRUE(sameItem(item->folder.get(), c.treePath == "/" ? root.path() : root / c.treePath));
      }
    }
  }
}

TEST_F(TreePathTest, ReportsTheOwnerOfEachFolderOnTheWay) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give folders other owners";
  ASSERT_EQ(::chown((root / "/Users/bob").c_str(), 501, 20), 0);
  ASSERT_EQ(::chown((root / "/Users/bob/Library").c_str(), 502, 20), 0);
  auto folder = TreePath::openFolder(root / "/Users/bob/Library/Caches", TreePath::Owners::report);
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->owners, (std::vector<uid_t>{0, 0, 501, 502, 0}));
  EXPECT_EQ(folder->owner, 0u);
  auto parent = TreePath::openParent(root / "/Users/bob/Library/Caches", TreePath::Owners::report);
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->name, "Caches");
  EXPECT_EQ(parent->folder.owner, 502u);
  EXPECT_EQ(parent->folder.owners, (std::vector<uid_t>{0, 0, 501, 502}));
}

TEST_F(TreePathTest, LayoutLinksMustBeTheLayoutsOwn) {
  struct Case {
    std::string target;  // "" for a folder in the link's place, "-" for nothing
    std::optional<std::string> destination;
    int code = 0;
  };
  const Case cases[] = {
      {"private/tmp", "/private/tmp"},
      {"/private/tmp", std::nullopt, ELOOP},
      {"private/tmp/", std::nullopt, ELOOP},
      {"../../../../private/tmp", std::nullopt, ELOOP},
      {"elsewhere/tmp", std::nullopt, ELOOP},
      {"", std::nullopt, ENOTDIR},
      {"-", std::nullopt, ENOENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    std::filesystem::remove_all(root / "/tmp");
    if (c.target.empty())
      tree.addDirectory("/tmp");
    else if (c.target != "-")
      tree.addSymlink("/tmp", c.target);
    auto destination = TreePath::layoutLinkDestination("/tmp");
    ASSERT_EQ(destination.ok(), c.destination.has_value());
    if (destination)
      EXPECT_EQ(*destination, *c.destination);
    else
      EXPECT_EQ(destination.error().code, c.code);
    EXPECT_EQ(TreePath::openFolder(root / "/tmp/").ok(), c.destination.has_value() || c.target.empty());
  }
  EXPECT_EQ(TreePath::layoutLinkDestination("/Users").error().code, EINVAL);
  EXPECT_EQ(TreePath::layoutLinkDestination("/Users/tmp").error().code, EINVAL);
}

TEST_F(TreePathTest, ALayoutLinkOwnedBySomeoneElseIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the link another owner";
  ASSERT_EQ(::lchown((root / "/tmp").c_str(), 501, 20), 0);
  EXPECT_EQ(TreePath::layoutLinkDestination("/tmp").error().code, ELOOP);
  for (const bool openat2 : test::ScopedResolution::kBothWays) {
    ResolutionMode mode(openat2);
    EXPECT_EQ(TreePath::openFolder(root / "/tmp/x").error().code, ELOOP) << modeName(openat2);
  }
}

TEST_F(TreePathTest, FilesAreOpenedInAHeldFolderOnlyWhenRegularAndSmallEnough) {
  tree.addFile("/Users/bob/Library/Caches/big", 100).addSymlink("/Users/bob/Library/Caches/link",
                                                                 root / "/outside/Caches/secret");
  ASSERT_EQ(::mkfifo((root / "/Users/bob/Library/Caches/pipe").c_str(), 0644), 0);
  auto folder = TreePath::openFolder(root / "/Users/bob/Library/Caches");
  ASSERT_TRUE(folder);
  struct Case {
    std::string name;
    std::uint64_t maxSize;
    int code;  // 0 for a read
  };
  const Case cases[] = {
      {"file", 3, 0},      {"big", 99, EFBIG},  {"link", 100, ELOOP}, {"pipe", 100, EINVAL},
      {"../..", 100, EINVAL}, {"a/b", 100, EINVAL}, {"missing", 100, ENOENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bytes = TreePath::readRegularFile(folder->descriptor.get(), c.name, c.maxSize, c.name);
    ASSERT_EQ(bytes.ok(), c.code == 0);
    if (bytes)
      EXPECT_EQ(bytes->size(), 3u);
    else
      EXPECT_EQ(bytes.error().code, c.code);
    EXPECT_EQ(Sha256::digestOfFile(folder->descriptor.get(), c.name).has_value(), c.code == 0 || c.code == EFBIG);
  }
  // The whole-path form goes through the same checks on the way.
  EXPECT_TRUE(Sha256::digestOfFile(root / "/Users/bob/Library/Caches/file"));
  EXPECT_FALSE(Sha256::digestOfFile(root / "/Users/eve/Library/Caches/secret"));
}

// Item sizes and dates looked up by path do not pass a link above the
// item: eve's Library leads outside, where "secret" has 5 bytes.
TEST_F(TreePathTest, ResourceValuesInTheTreeDoNotPassALinkAboveTheItem) {
  const auto inside = ResourceValues::readInTree(root / "/Users/bob/Library/Caches/file", ResourceKeys::FileSize);
  ASSERT_TRUE(inside);
  EXPECT_EQ(inside->fileSize, 3u);
  EXPECT_TRUE(ResourceValues::read(root / "/Users/eve/Library/Caches/secret", ResourceKeys::FileSize));
  Error error;
  EXPECT_FALSE(ResourceValues::readInTree(root / "/Users/eve/Library/Caches/secret", ResourceKeys::FileSize, &error));
  EXPECT_EQ(error.code, ELOOP);
}

// A second thread swaps a user's Library for a link to an outside folder a
// fixed number of times while walks of the Library's Caches go on; no walk
// may report what lies outside.
TEST_F(TreePathTest, SwappingAFolderAboveTheRootForALinkNeverLeadsOutside) {
  const std::string library = root / "/Users/bob/Library";
  const std::string outside = root / "/outside";
  for (const bool openat2 : test::ScopedResolution::kBothWays) {
    ResolutionMode mode(openat2);
    test::FolderLinkSwapper swapper(library, outside, 200);
    int walks = 0;
    int outsideEntries = 0;
    do {
      ++walks;
      (void)DirectoryWalker::walk(library + "/Caches", DirectoryEnumerationOptions::None,
                                  [&](const DirectoryWalker::Entry& entry) {
                                    if (entry.name() == "secret") ++outsideEntries;
                                    return WalkAction::Continue;
                                  });
    } while (!swapper.done());
    EXPECT_EQ(outsideEntries, 0) << modeName(openat2) << " in " << walks << " walks";
    ASSERT_TRUE(std::filesystem::is_directory(library));
  }
}

}  // namespace
}  // namespace vozi::platform
