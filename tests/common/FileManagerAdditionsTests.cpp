#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/FileManagerAdditions.h"
#include "support/MacTree.h"
#include "support/ScopedProcessUser.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using ::testing::ElementsAre;
using platform::FileManager;
using platform::SearchPathDirectory;
using test::MacTree;
using test::ScopedProcessUser;
using test::TempRoot;

// Users bob and alice with application containers, plus the traps: a
// package and a link among the containers, and a container nested inside
// a found cache folder.
class LocatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.addUser("bob")
        .addUser("alice")
        .addUser("root")
        .addContainer("bob", "com.a.one")
        .addContainer("bob", "com.b.two")
        .addContainer("alice", "com.c.three")
        .addDirectory("/Users/bob/Library/Containers/com.b.two/Data/Library/Caches/x/Data/Library/Caches")
        .addDirectory("/Users/bob/Library/Containers/Tool.app/Data/Library/Caches")
        .addDirectory("/elsewhere/Data/Library/Caches")
        .addDirectory("/elsewhere/Data/Library/Logs")
        .addSymlink("/Users/bob/Library/Containers/link", root / "/elsewhere");
  }

  std::vector<std::string> hosts(const std::vector<std::string>& treePaths) const {
    std::vector<std::string> result;
    for (const auto& path : treePaths) result.push_back(root / path);
    return result;
  }

  TempRoot root;
  MacTree tree{root};
};

TEST_F(LocatorTest, UserFoldersAsRootAndAsTheUserThemselves) {
  struct Case {
    std::string processUser;
    std::string owner;  // whose user-domain folders come back
  };
  // As root the named user's folders come back; as anyone else, the
  // process user's own, whatever name is asked for.
  const Case cases[] = {{"root", "bob"}, {"bob", "bob"}, {"alice", "alice"}};
  for (const Case& c : cases) {
    ScopedProcessUser user(c.processUser);
    SCOPED_TRACE(c.processUser);
    const std::string library = "/Users/" + c.owner + "/Library";
    EXPECT_EQ(FileManagerAdditions::usersLibrary("bob"), hosts({library}));
    if (c.owner == "bob") {
      EXPECT_EQ(FileManagerAdditions::usersCache("bob"),
                hosts({library + "/Containers/com.a.one/Data/Library/Caches",
                       library + "/Containers/com.b.two/Data/Library/Caches", library + "/Caches"}));
      EXPECT_EQ(FileManagerAdditions::userLogsPaths("bob"),
                hosts({library + "/Containers/com.a.one/Data/Library/Logs",
                       library + "/Containers/com.b.two/Data/Library/Logs", library + "/Logs"}));
    } else {
      EXPECT_EQ(FileManagerAdditions::usersCache("bob"),
                hosts({library + "/Containers/com.c.three/Data/Library/Caches", library + "/Caches"}));
      EXPECT_EQ(FileManagerAdditions::userLogsPaths("bob"),
                hosts({library + "/Containers/com.c.three/Data/Library/Logs", library + "/Logs"}));
    }
    EXPECT_EQ(FileManagerAdditions::usersMailAttachment("bob"), hosts({library + "/Mail Downloads"}));
    EXPECT_EQ(FileManagerAdditions::usersDomainMaskFor(SearchPathDirectory::Trash, FileManager::defaultManager(), "bob"),
              hosts({"/Users/" + c.owner + "/.Trash"}));

    // Folders named by the user's name are the named user's in every case.
    EXPECT_EQ(FileManagerAdditions::leftoversDirectories("bob", FileManager::defaultManager()),
              hosts({"/Library/Application Support", "/Users/bob/Library/Application Support",
                     "/Library/Preferences", "/Users/bob/Library/Preferences", "/Library/LaunchAgents",
                     "/Users/bob/Library/LaunchAgents", "/Library/LaunchDaemons", "/Users/bob/Library/LaunchDaemons",
                     "/Library/PreferencePanes", "/Users/bob/Library/PreferencePanes", "/Library/StartupItems",
                     "/Users/bob/Library/StartupItems", "/Library/Saved Application State",
                     "/Users/bob/Library/Saved Application State"}));
    EXPECT_EQ(FileManagerAdditions::temporary("bob"), hosts({"/Users/bob/tmp", "/private/tmp"}));
    EXPECT_EQ(FileManagerAdditions::temporary(std::nullopt), hosts({"/private/tmp"}));
    EXPECT_EQ(FileManagerAdditions::userHomeDirectory("bob", FileManager::defaultManager()), root / "/Users/bob");
  }
}

TEST_F(LocatorTest, MachineFolders) {
  EXPECT_EQ(FileManagerAdditions::applicationsDirectory(), root / "/Applications");
  EXPECT_EQ(FileManagerAdditions::libraryDirectory(), root / "/Library");
  EXPECT_EQ(FileManagerAdditions::systemDirectory(), root / "/System");
  EXPECT_THAT(FileManagerAdditions::cachesDirectories(), ElementsAre(root / "/System/Library/Caches"));
  EXPECT_EQ(FileManagerAdditions::globalTemporary(), root / "/private/tmp");
}

TEST_F(LocatorTest, GlobalTemporaryStaysInsideTheTree) {
  struct Case {
    std::string target;
    std::optional<std::string> expected;
  };
  // Only the layout's own text is taken: any other could lead anywhere,
  // through a link or out of the tree.
  const Case cases[] = {
      {"private/tmp", "/private/tmp"},
      {"/private/tmp", std::nullopt},
      {"../../../../../etc", std::nullopt},
      {"/../../x/./y/", std::nullopt},
      {"elsewhere/tmp", std::nullopt},
  };
  for (const Case& c : cases) {
    tree.addSymlink("/tmp", c.target);
    EXPECT_EQ(FileManagerAdditions::globalTemporary(), c.expected ? std::optional(root / *c.expected) : std::nullopt)
        << c.target;
  }
  ::unlink((root / "/tmp").c_str());
  EXPECT_EQ(FileManagerAdditions::globalTemporary(), std::nullopt);
  EXPECT_EQ(FileManagerAdditions::temporary(std::nullopt), std::vector<std::string>{});
  EXPECT_EQ(FileManagerAdditions::temporary("bob"), hosts({"/Users/bob/tmp"}));
  tree.addDirectory("/tmp");  // a folder, not a link
  EXPECT_EQ(FileManagerAdditions::globalTemporary(), std::nullopt);
}

TEST_F(LocatorTest, TheTemporaryFilesScanWalksTheProcessFolderAndTheMachinesEachOnce) {
  tree.addDirectory("/private/var/folders/T").addDirectory("/private/tmp/sub");
  struct Case {
    const char* tmpdir;  // null: unset
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {nullptr, {"/private/tmp"}},  // "/tmp/" is the layout's link to it
      {"/tmp", {"/private/tmp"}},
      {"/private/var/folders/T/", {"/private/var/folders/T", "/private/tmp"}},
      {"/private/tmp/sub", {"/private/tmp"}},  // inside the machine's folder
      {"/missing", {"/private/tmp"}},
      {"/../../etc", {"/private/tmp"}},  // climbing text: the default
      {"relative/T", {"/private/tmp"}},
  };
  const char* saved = std::getenv("TMPDIR");
  const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tmpdir ? c.tmpdir : "(unset)");
    if (c.tmpdir) {
      ::setenv("TMPDIR", c.tmpdir, 1);
    } else {
      ::unsetenv("TMPDIR");
    }
    EXPECT_EQ(FileManagerAdditions::temporaryFilesScanningFolders(), hosts(c.expected));
  }
  if (previous) {
    ::setenv("TMPDIR", previous->c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

TEST_F(LocatorTest, UnusableUserNamesGiveNoFolders) {
  ScopedProcessUser user("root");
  for (const std::string& bad : {std::string(), std::string("."), std::string(".."), std::string("../bob"),
                                 std::string("bob/../alice"), std::string("bo\0b", 4)}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(FileManagerAdditions::userHomeDirectory(bad, FileManager::defaultManager()), std::nullopt);
    EXPECT_TRUE(FileManagerAdditions::usersLibrary(bad).empty());
    EXPECT_TRUE(FileManagerAdditions::usersCache(bad).empty());
    EXPECT_TRUE(FileManagerAdditions::userLogsPaths(bad).empty());
    EXPECT_TRUE(FileManagerAdditions::usersMailAttachment(bad).empty());
    EXPECT_TRUE(FileManagerAdditions::leftoversDirectories(bad, FileManager::defaultManager()).empty());
    EXPECT_EQ(FileManagerAdditions::userTemporary(bad), std::nullopt);
    EXPECT_EQ(FileManagerAdditions::temporary(bad), hosts({"/private/tmp"}));
  }
}

TEST_F(LocatorTest, ALibraryWithoutContainersHasOnlyItsLogsFolder) {
  tree.addDirectory("/Users/carol/Library");
  EXPECT_EQ(FileManagerAdditions::userLogsPathsForLibrary(root / "/Users/carol/Library"),
            hosts({"/Users/carol/Library/Logs"}));
}

TEST_F(LocatorTest, FindDirsMatchesFoldersByWholeSuffix) {
  const std::string containers = root / "/Users/bob/Library/Containers";
  EXPECT_EQ(FileManagerAdditions::findDirs(FileManager::defaultManager(), containers, "/Data/Library/Caches/"),
            hosts({"/Users/bob/Library/Containers/com.a.one/Data/Library/Caches",
                   "/Users/bob/Library/Containers/com.b.two/Data/Library/Caches"}));
  EXPECT_EQ(FileManagerAdditions::findDirs(FileManager::defaultManager(), containers, "/Data/Library/Cach/"),
            std::vector<std::string>{});
  EXPECT_EQ(FileManagerAdditions::findDirs(FileManager::defaultManager(), root / "/none", "/Caches/"),
            std::vector<std::string>{});
}

}  // namespace
}  // namespace vozi
