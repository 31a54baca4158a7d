#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/FileManager.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/ScopedProcessUser.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using ::testing::ElementsAre;
using Action = FileManagerEnumerationAction;
using Keys = platform::ResourceKeys;
using Options = platform::DirectoryEnumerationOptions;
using test::MacTree;
using test::ScopedProcessUser;
using test::TempRoot;

// A scanned folder with files, hidden items, a package, folders a subpath
// handler may skip or take whole, and a link to a folder outside the tree.
class WalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.addFile("/scan/a.txt", 10)
        .addFile("/scan/.hidden", 1)
        .addFile("/scan/.cfg/x", 1)
        .addFile("/scan/Foo.app/Contents/Info.plist", 5)
        .addFile("/scan/docs/b.txt", 20)
        .addFile("/scan/docs/deep/c.txt", 30)
        .addFile("/scan/skipme/s.txt", 1)
        .addFile("/scan/needed/n.txt", 1)
        .addFile("/outside/secret", 1000)
        .addFile("/outside/sub/more", 1000)
        .addSymlink("/scan/link-out", root / "/outside")
        .addFile("/single.txt", 7);
  }

  // The reports of a walk as tree paths, "+" marking those with values.
  static std::string label(const TempRoot& root, const std::string& url, bool withValues) {
    std::string path = url.substr(root.path().size());
    if (path.rfind("/scan/", 0) == 0) path = path.substr(6);
    return path + (withValues ? "+" : "");
  }

  TempRoot root;
  MacTree tree{root};
};

TEST_F(WalkTest, SteerableWalkAnswers) {
  struct Case {
    const char* label;
    std::vector<std::string> roots;
    Options options;
    std::map<std::string, Action> answers;  // by tree path below /scan
    std::string cancelAfter;                // "" never, "start" at once, else after reporting that item
    std::vector<std::string> expected;
  };
  const std::vector<std::string> scan = {"/scan"};
  const Case cases[] = {
      {"continue everywhere; the link is reported, not entered", scan, Options::None, {}, "",
       {".cfg", ".cfg/x+", ".hidden+", "Foo.app", "Foo.app/Contents", "Foo.app/Contents/Info.plist+", "a.txt+", "docs",
        "docs/b.txt+", "docs/deep", "docs/deep/c.txt+", "link-out+", "needed", "needed/n.txt+", "skipme",
        "skipme/s.txt+"}},
      {"skipPath and foundNeeded", scan, Options::None,
       {{"skipme", Action::skipPath}, {"needed", Action::foundNeeded}, {"a.txt", Action::foundNeeded},
        {"docs/b.txt", Action::skipPath}, {"link-out", Action::foundNeeded}},
       "",
       {".cfg", ".cfg/x+", ".hidden+", "Foo.app", "Foo.app/Contents", "Foo.app/Contents/Info.plist+", "a.txt+", "docs",
        "docs/deep", "docs/deep/c.txt+", "link-out+", "needed"}},
      {"packages and hidden files skipped", scan, Options::SkipsPackageDescendants | Options::SkipsHiddenFiles, {}, "",
       {"Foo.app", "a.txt+", "docs", "docs/b.txt+", "docs/deep", "docs/deep/c.txt+", "link-out+", "needed",
        "needed/n.txt+", "skipme", "skipme/s.txt+"}},
      {"skipping subfolders is no option for this walk", scan, Options::SkipsSubdirectoryDescendants,
       {{".cfg", Action::skipPath}, {"Foo.app", Action::skipPath}, {"docs", Action::skipPath},
        {"needed", Action::skipPath}},
       "", {".hidden+", "a.txt+", "link-out+", "skipme", "skipme/s.txt+"}},
      {"cancelled from the start: file roots still come", {"/scan", "/single.txt", "/scan"}, Options::None, {},
       "start", {"/single.txt+"}},
      {"cancelled midway", {"/scan", "/single.txt"}, Options::None, {}, "docs/b.txt",
       {".cfg", ".cfg/x+", ".hidden+", "Foo.app", "Foo.app/Contents", "Foo.app/Contents/Info.plist+", "a.txt+", "docs",
        "docs/b.txt+", "/single.txt+"}},
      {"roots that are not folders stand for themselves", {"/single.txt", "/scan/link-out", "/missing"},
       Options::None, {{"/single.txt", Action::skipPath}}, "start", {"/single.txt+", "link-out+"}},
  };

  for (const Case& c : cases) {
    std::vector<std::string> roots;
    for (const auto& path : c.roots) roots.push_back(root / path);
    std::vector<std::string> reported;
    bool cancelled = c.cancelAfter == "start";
    FileManager::defaultManager().enumerate(
        roots, Keys::FileSize, c.options,
        [&](const std::string& url, const std::optional<platform::ResourceValues>& values) {
          reported.push_back(label(root, url, values.has_value()));
          if (values) {
            EXPECT_TRUE(values->fileSize.has_value()) << url;
          }
          if (!c.cancelAfter.empty() && reported.back() == c.cancelAfter + "+") cancelled = true;
        },
        [&](const std::string& url) {
          auto found = c.answers.find(label(root, url, false));
          return found == c.answers.end() ? Action::continueEnumeration : found->second;
        },
        {}, [&] { return cancelled; });
    EXPECT_EQ(reported, c.expected) << c.label;
  }
}

TEST_F(WalkTest, FileRootsAskNeitherHandlerNorCanceller) {
  int asked = 0;
  std::vector<std::string> reported;
  FileManager::defaultManager().enumerate(
      {root / "/single.txt"}, Keys::None, Options::None,
      [&](const std::string& url, const std::optional<platform::ResourceValues>& values) {
        reported.push_back(url);
        EXPECT_FALSE(values.has_value());
      },
      [&](const std::string&) {
        ++asked;
        return Action::skipPath;
      },
      {},
      [&] {
        ++asked;
        return true;
      });
  EXPECT_THAT(reported, ElementsAre(root / "/single.txt"));
  EXPECT_EQ(asked, 0);
}

TEST_F(WalkTest, PlainWalkReportsEverythingButNeverLeavesTheTree) {
  struct Case {
    Options options;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {Options::None,
       {".cfg+", ".cfg/x+", ".hidden+", "Foo.app+", "Foo.app/Contents+", "Foo.app/Contents/Info.plist+", "a.txt+",
        "docs+", "docs/b.txt+", "docs/deep+", "docs/deep/c.txt+", "link-out+", "needed+", "needed/n.txt+", "skipme+",
        "skipme/s.txt+", "/single.txt+"}},
      {Options::SkipsPackageDescendants | Options::SkipsHiddenFiles | Options::SkipsSubdirectoryDescendants,
       {"Foo.app+", "a.txt+", "docs+", "link-out+", "needed+", "skipme+", "/single.txt+"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> reported;
    FileManager::defaultManager().enumerate(
        {root / "/scan", root / "/single.txt", root / "/missing"}, Keys::IsDirectory, c.options,
        [&](const std::string& url, const std::optional<platform::ResourceValues>& values) {
          reported.push_back(label(root, url, values.has_value()));
        });
    EXPECT_EQ(reported, c.expected);
  }
}

TEST_F(WalkTest, CountsAndSizesStayInsideTheTree) {
  const FileManager& fm = FileManager::defaultManager();
  EXPECT_EQ(fm.numberOfPaths({root / "/scan"}, Options::None), 16u);
  EXPECT_EQ(fm.numberOfPaths({root / "/scan", root / "/single.txt"}, Options::SkipsPackageDescendants), 15u);
  EXPECT_EQ(fm.numberOfPaths({root / "/scan"}, Options::None, [] { return true; }), 0u);

  tree.addFile("/count/one", 1).addFile("/count/two", 1).addFile("/count/sub/three", 1);
  EXPECT_EQ(fm.numberOfPaths({root / "/count"}, Options::None), 4u);

  const auto linkSize = fm.resourceValues(root / "/scan/link-out", Keys::FileSize)->fileSize.value();
  EXPECT_EQ(FileManager::directorySize(root / "/scan"), 10u + 1 + 1 + 5 + 20 + 30 + 1 + 1 + linkSize);
  tree.addDirectory("/empty").addFile("/two/a", 10).addFile("/two/b", 20).addFile("/two/zero", 0);
  EXPECT_EQ(FileManager::directorySize(root / "/empty"), 0u);
  EXPECT_EQ(FileManager::directorySize(root / "/two"), 30u);
  EXPECT_EQ(FileManager::directorySize(root / "/single.txt"), 7u);
  EXPECT_EQ(FileManager::directorySize(root / "/missing"), 0u);
}

// Keeps the log lines written during a test.
class FileManagerLogTest : public ::testing::Test {
 protected:
  test::LogCapture log;
};

TEST_F(FileManagerLogTest, FailedListingsAndCreationsAreLoggedOnce) {
  TempRoot root;
  MacTree tree(root);
  tree.addFile("/d/file", 1);
  const FileManager& fm = FileManager::defaultManager();
  const auto endsWith = [](const std::string& line, const std::string& tail) {
    return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
  };

  EXPECT_EQ(fm.contentOfDirectory(root / "/d/file"), std::nullopt);
  auto lines = log.take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("]: Directory isn't exist at path:" + root / "/d/file" + " (Not a directory"),
            std::string::npos)
      << lines[0];
  EXPECT_TRUE(endsWith(lines[0], ")")) << lines[0];

  EXPECT_EQ(fm.contentOfDirectory(root / "/d/missing"), std::nullopt);
  fm.createDirectoriesIfNotExist(root / "/d/file");
  fm.createDirectoriesIfNotExist(root / "/d/new");
  EXPECT_TRUE(log.take().empty());

  fm.createDirectoriesIfNotExist(root / "/d/file/below");
  lines = log.take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("]: Failed create directory at path:" + root / "/d/file/below" + " ("), std::string::npos)
      << lines[0];
}

TEST(FileManagerTest, SmallTestsAndListings) {
  TempRoot root;
  MacTree tree(root);
  tree.addFile("/d/A.PLIST", 1).addFile("/d/b.plist", 1).addFile("/d/c.txt", 1).addDirectory("/empty");
  const FileManager& fm = FileManager::defaultManager();

  EXPECT_TRUE(fm.isFileExists(root / "/d/c.txt", true));
  EXPECT_FALSE(fm.isFileExists(root / "/d/none"));
  EXPECT_TRUE(fm.isDirectoryEmpty(root / "/empty"));
  EXPECT_TRUE(fm.isDirectoryEmpty(root / "/none"));
  EXPECT_TRUE(fm.isDirectoryEmpty(root / "/d/c.txt"));
  EXPECT_FALSE(fm.isDirectoryEmpty(root / "/d"));

  EXPECT_EQ(fm.contentOfDirectory(root / "/d"), (std::vector<std::string>{"A.PLIST", "b.plist", "c.txt"}));
  EXPECT_EQ(fm.contentOfDirectory(root / "/d", "plist"), (std::vector<std::string>{"A.PLIST", "b.plist"}));
  EXPECT_EQ(fm.contentOfDirectory(root / "/d", "PLIST"), std::vector<std::string>{});
  EXPECT_EQ(fm.contentOfDirectory(root / "/d", ""), (std::vector<std::string>{"A.PLIST", "b.plist", "c.txt"}));
  EXPECT_EQ(fm.contentOfDirectory(root / "/d/c.txt"), std::nullopt);
  EXPECT_EQ(fm.contentOfDirectory(root / "/none"), std::nullopt);
  EXPECT_EQ(fm.contentOfDirectory(root / "/none", "plist"), std::nullopt);

  fm.createDirectoriesIfNotExist(root / "/made/deep/er");
  EXPECT_TRUE(fm.isDirectory(root / "/made/deep/er"));
  fm.createDirectoriesIfNotExist(root / "/d/c.txt");
  EXPECT_FALSE(fm.isDirectory(root / "/d/c.txt"));
  fm.createDirectoriesIfNotExist(root / "/d/c.txt/below");
  EXPECT_FALSE(fm.fileExists(root / "/d/c.txt/below"));

  tree.addFile("/e/x/y", 1);
  EXPECT_EQ(fm.filesAt({root / "/e", root / "/none", root / "/empty", root / "/d"}),
            (std::vector<std::string>{"x", "x/y", "A.PLIST", "b.plist", "c.txt"}));

  EXPECT_EQ(FileManager::addPlistExtensionIfNeeded("settings"), "settings.plist");
  EXPECT_EQ(FileManager::addPlistExtensionIfNeeded("settings.plist"), "settings.plist");
  EXPECT_EQ(FileManager::addPlistExtensionIfNeeded("myplist"), "myplist");
  EXPECT_EQ(FileManager::addPlistExtensionIfNeeded(""), ".plist");
}

TEST(FileManagerTest, OtherUsersSpaceIsDecidedByWholeComponents) {
  TempRoot root;
  struct Case {
    std::string processUser;
    std::string treePath;
    bool other;
  };
  const Case cases[] = {
      {"root", "/Users/other/file", true},     {"root", "/Users", false},
      {"root", "/Users/", false},              {"root", "/Library/x", false},
      {"root", "/var/root/x", false},          {"bob", "/Users/bob/Library/x", false},
      {"bob", "/Users/bob", false},            {"bob", "/Users/bobby/Library/x", true},
      {"bob", "/Users/alice", true},           {"bob", "/Users/bob/../alice/x", true},
      {"bob", "/Usersx/alice", false},
  };
  for (const Case& c : cases) {
    ScopedProcessUser user(c.processUser);
    EXPECT_EQ(FileManager::defaultManager().isFileInOtherUserSpace(root / c.treePath), c.other)
        << c.processUser << " " << c.treePath;
  }
}

TEST(FileManagerTest, HomesAndLeftoverFolders) {
  TempRoot root;
  EXPECT_EQ(FileManager::getUserHomeDir("bob"), root / "/Users/bob");
  EXPECT_EQ(FileManager::getUserHomeDir("root"), root / "/var/root");
  const std::vector<std::string> expected = {
      root / "/Library/Application Support",     root / "/Users/bob/Library/Application Support",
      root / "/Library/Preferences",             root / "/Users/bob/Library/Preferences",
      root / "/Library/LaunchAgents",            root / "/Users/bob/Library/LaunchAgents",
      root / "/Library/LaunchDaemons",           root / "/Users/bob/Library/LaunchDaemons",
      root / "/Library/PreferencePanes",         root / "/Users/bob/Library/PreferencePanes",
      root / "/Library/StartupItems",            root / "/Users/bob/Library/StartupItems",
      root / "/Library/Saved Application State", root / "/Users/bob/Library/Saved Application State",
  };
  EXPECT_EQ(FileManager::leftoversDirs("bob"), expected);
  for (const std::string& bad : {std::string(), std::string("."), std::string(".."), std::string("../bob"),
                                 std::string("a/b"), std::string("bo\0b", 4)}) {
    EXPECT_EQ(FileManager::getUserHomeDir(bad), std::nullopt) << bad;
    EXPECT_TRUE(FileManager::leftoversDirs(bad).empty()) << bad;
  }
}

}  // namespace
}  // namespace vozi
