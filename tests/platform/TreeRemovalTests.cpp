#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/FileDescriptor.h"
#include "platform/TreeRemoval.h"
#include "support/FolderLinkSwapper.h"
#include "support/TempRoot.h"

namespace vozi::platform {
namespace {

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// Everything a removal must never touch lives in "/outside" of the tree.
class TreeRemovalTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  std::string outsideFile = root.writeFile("/outside/keep.txt", "keep");
  std::string outsideFolder = root / "/outside";

  void link(const std::string& target, const std::string& treePath) {
    ASSERT_EQ(::symlink(target.c_str(), (root / treePath).c_str()), 0) << treePath;
  }
};

TEST_F(TreeRemovalTest, RemovesWhatStandsThereAndNothingBeyondIt) {
  struct Case {
    const char* what;
    std::function<void()> lay;
    std::string treePath;
    int error;  // 0: removed
    std::uint64_t bytes;
    std::string gone;  // a tree path that must be gone afterwards
  };
  const Case cases[] = {
      {"a file", [&] { root.writeFile("/Users/bob/a.txt", "12345"); }, "/Users/bob/a.txt", 0, 5, "/Users/bob/a.txt"},
      {"a folder holding links",
       [&] {
         root.writeFile("/Users/bob/Caches/one/f1", "abc");
         root.writeFile("/Users/bob/Caches/one/deeper/f2", "defg");
         link(outsideFolder, "/Users/bob/Caches/one/toFolder");
         link(outsideFile, "/Users/bob/Caches/one/deeper/toFile");
       },
       "/Users/bob/Caches/one", 0, 7, "/Users/bob/Caches/one"},
      {"the item a link",
       [&] {
         root.makeDirectory("/Users/bob/Logs");
         link(outsideFolder, "/Users/bob/Logs/app");
       },
       "/Users/bob/Logs/app", 0, 0, "/Users/bob/Logs/app"},
      {"a dangling link",
       [&] {
         root.makeDirectory("/Users/bob/Trash");
         link("/nowhere/at/all", "/Users/bob/Trash/gone");
       },
       "/Users/bob/Trash/gone", 0, 0, "/Users/bob/Trash/gone"},
      {"a link on the way",
       [&] {
         root.makeDirectory("/Users/eve");
         root.writeFile("/outside/Caches/x", "x");
         link(outsideFolder, "/Users/eve/Library");
       },
       "/Users/eve/Library/Caches/x", ELOOP, 0, ""},
      {"a missing item", [&] { root.makeDirectory("/Users/bob"); }, "/Users/bob/none", ENOENT, 0, ""},
      {"a path with ..", [] {}, "/Users/bob/../../outside/keep.txt", EINVAL, 0, ""},
      {"a path with .", [] {}, "/Users/./bob", EINVAL, 0, ""},
      {"an empty component", [] {}, "/Users//bob", EINVAL, 0, ""},
      {"a trailing slash", [] {}, "/Users/bob/", EINVAL, 0, ""},
      {"the host root itself", [] {}, "", EINVAL, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.lay();
    auto removed = TreeRemoval::removeItem(root / c.treePath);
    if (c.error == 0) {
      ASSERT_TRUE(removed) << removed.error().localizedDescription();
      EXPECT_EQ(removed->bytes, c.bytes);
      EXPECT_FALSE(exists(root / c.gone));
    } else {
      ASSERT_FALSE(removed);
      EXPECT_EQ(removed.error().code, c.error);
    }
    EXPECT_TRUE(exists(outsideFile));
  }
  EXPECT_TRUE(exists(root / "/outside/Caches/x"));

  // Paths that are not under the host root at all.
  for (const std::string& path : {outsideFile.substr(0, outsideFile.find("/outside")), std::string("relative/path"),
                                  std::string("/etc/hostname")}) {
    auto removed = TreeRemoval::removeItem(path);
    ASSERT_FALSE(removed) << path;
    EXPECT_EQ(removed.error().code, EINVAL) << path;
  }
  EXPECT_TRUE(exists("/etc/hostname"));
}

TEST_F(TreeRemovalTest, AFolderDeeperThanTheDescriptorWindowIsRemovedWhole) {
  // Deeper than any path the kernel takes in one piece, so it is made
  // through descriptors too.
  constexpr int kDepth = 3000;
  FileDescriptor folder(::open(root.makeDirectory("/Users/bob/deep").c_str(), O_RDONLY | O_DIRECTORY));
  for (int i = 0; i < kDepth; ++i) {
    ASSERT_EQ(::mkdirat(folder.get(), "d", 0755), 0);
    ASSERT_EQ(::symlinkat(outsideFile.c_str(), folder.get(), "link"), 0);
    folder.reset(::openat(folder.get(), "d", O_RDONLY | O_DIRECTORY));
    ASSERT_TRUE(folder);
  }
  FileDescriptor file(::openat(folder.get(), "bottom", O_WRONLY | O_CREAT, 0644));
  ASSERT_EQ(::write(file.get(), "bottom", 6), 6);
  file.reset();
  folder.reset();

  auto removed = TreeRemoval::removeItem(root / "/Users/bob/deep");
  ASSERT_TRUE(removed) << removed.error().localizedDescription();
  EXPECT_EQ(removed->bytes, 6u);
  EXPECT_EQ(removed->items, 2u * kDepth + 2);  // folders and links, the file, the item
  EXPECT_FALSE(exists(root / "/Users/bob/deep"));
  EXPECT_TRUE(exists(outsideFile));
}

TEST_F(TreeRemovalTest, AFolderSwappedForALinkWhileItIsRemovedLeadsNowhere) {
  for (int i = 0; i < 200; ++i) root.writeFile("/outside/victim/f" + std::to_string(i), "v");
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    for (int i = 0; i < 200; ++i) root.writeFile("/Users/bob/Caches/app/sub/f" + std::to_string(i), "x");
    {
      test::FolderLinkSwapper swapper(root / "/Users/bob/Caches/app/sub", root / "/outside/victim", 50);
      (void)TreeRemoval::removeItem(root / "/Users/bob/Caches/app");
    }
    // Whatever the removal met, the folder outside is whole.
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(exists(root / ("/outside/victim/f" + std::to_string(i))));
    (void)TreeRemoval::removeItem(root / "/Users/bob/Caches/app");
    ::unlink((root / "/Users/bob/Caches/app/sub").c_str());
  }
}

}  // namespace
}  // namespace vozi::platform
