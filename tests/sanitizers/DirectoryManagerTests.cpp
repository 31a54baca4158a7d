#include <gtest/gtest.h>

#include "sanitizers/DirectoryManager.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/ScopedProcessUser.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using platform::URL;

std::vector<std::string> pathsOf(const std::vector<URL>& urls) {
  std::vector<std::string> paths;
  for (const URL& url : urls) paths.push_back(url.path());
  return paths;
}

class DirectoryManagerTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  test::MacTree tree{root};
  // As the daemon runs: the user folders are the named user's.
  test::ScopedProcessUser superUser{"root"};
};

TEST_F(DirectoryManagerTest, MachineFoldersLieUnderTheRoot) {
  const URL support = DirectoryManager::ZOLApplicationSupport();
  EXPECT_EQ(support.path(), root / "/Library/Application Support/div.ez.iru");
  EXPECT_TRUE(support.hasDirectoryPath());
  EXPECT_EQ(pathsOf(DirectoryManager::systemLogs()),
            (std::vector<std::string>{root / "/var/log", root / "/Library/logs"}));
  EXPECT_EQ(pathsOf(DirectoryManager::systemCache()), std::vector<std::string>{root / "/Library/Caches"});
  EXPECT_EQ(pathsOf(DirectoryManager::library()), std::vector<std::string>{root / "/Library"});
  EXPECT_EQ(pathsOf(DirectoryManager::system()), std::vector<std::string>{root / "/System/Library"});
}

TEST_F(DirectoryManagerTest, UserFoldersAreTheNamedUsersAndNoneForANameThatIsNoFolderName) {
  EXPECT_EQ(pathsOf(DirectoryManager::photoCache("anna")),
            std::vector<std::string>{root / "/Users/anna/Pictures/iPod Photo Cache"});
  EXPECT_EQ(pathsOf(DirectoryManager::trash("anna")), std::vector<std::string>{root / "/Users/anna/.Trash"});
  const auto apps = pathsOf(DirectoryManager::apps("anna"));
  ASSERT_FALSE(apps.empty());
  EXPECT_EQ(apps.front(), root / "/Applications");

  test::LogCapture log;
  for (const std::string name : {"../x", "", "a/b", ".."}) {
    EXPECT_TRUE(DirectoryManager::photoCache(name).empty()) << name;
    EXPECT_TRUE(DirectoryManager::trash(name).empty()) << name;
    EXPECT_EQ(pathsOf(DirectoryManager::apps(name)), std::vector<std::string>{root / "/Applications"}) << name;
    EXPECT_EQ(DirectoryManager::convertPathToUserDir(name, "~/Library/Logs"), "~/Library/Logs") << name;
  }
  EXPECT_GE(log.count("cannot be a folder name"), 1u);
}

TEST_F(DirectoryManagerTest, TildesBecomeTheUsersHome) {
  const std::string home = root / "/Users/anna";
  EXPECT_EQ(DirectoryManager::convertPathToUserDir("anna", "~/Library/Logs"), home + "/Library/Logs");
  EXPECT_EQ(DirectoryManager::convertPathToUserDir("anna", "~/a:~/b"), home + "/a:" + home + "/b");
  EXPECT_EQ(DirectoryManager::convertPathToUserDir("anna", "/Library/Logs"), "/Library/Logs");
}

// The answer reads the path inside the tree, so a fixture root answers as
// the real layout does.
TEST_F(DirectoryManagerTest, TheFourthComponentOfTheTreePathTellsAUsersLibrary) {
  const std::pair<const char*, bool> cases[] = {
      {"/Users/anna/Library", true},     {"/Users/anna/Library/Caches/x", true}, {"/Users/anna", false},
      {"/", false},                      {"/Library/Caches/x", false},           {"/Users/anna/library/x", false},
      {"/var/root/Library/Prefs", true},
  };
  for (const auto& [treePath, inLibrary] : cases)
    EXPECT_EQ(DirectoryManager::isInUserLibrary(URL::fileURLWithPath(root / treePath)), inLibrary) << treePath;
}

}  // namespace
}  // namespace vozi
