#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/DirectoryWalker.h"
#include "platform/FileDescriptor.h"
#include "platform/FileManager.h"
#include "platform/FilePackage.h"
#include "platform/FileSystemLayout.h"
#include "platform/PathComponents.h"
#include "platform/ProcessUser.h"
#include "support/MacTree.h"
#include "support/ScopedProcessUser.h"
#include "support/TempRoot.h"

namespace vozi::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using test::MacTree;
using test::ScopedProcessUser;
using test::TempRoot;
using Options = DirectoryEnumerationOptions;

TEST(FileSystemLayoutTest, UserNamesThatMayBecomePathComponents) {
  struct Case {
    std::string name;
    bool valid;
  };
  const Case cases[] = {
      {"bob", true},          {"Bob Smith", true},      {".bob", true},  {"root", true},
      {"", false},            {".", false},             {"..", false},   {"a/b", false},
      {"/", false},           {std::string("a\0b", 3), false},           {std::string(256, 'x'), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileSystemLayout::isValidUserName(c.name), c.valid) << c.name;
    EXPECT_EQ(FileSystemLayout::homeTreePath(c.name).has_value(), c.valid) << c.name;
  }
  EXPECT_EQ(FileSystemLayout::homeTreePath("bob"), "/Users/bob");
  EXPECT_EQ(FileSystemLayout::homeTreePath("root"), "/var/root");
}

TEST(FileSystemLayoutTest, SearchPathsByKindAndDomain) {
  TempRoot root;
  using D = SearchPathDirectory;
  using M = SearchPathDomainMask;
  struct Case {
    D directory;
    M domains;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {D::Library, M::User, {"/Users/bob/Library"}},
      {D::Library, M::Local, {"/Library"}},
      {D::Library, M::System, {"/System/Library"}},
      {D::Library, M::All, {"/Users/bob/Library", "/Library", "/System/Library"}},
      {D::Caches, M::User, {"/Users/bob/Library/Caches"}},
      {D::Caches, M::System, {"/System/Library/Caches"}},
      {D::ApplicationSupport, M::User | M::Local,
       {"/Users/bob/Library/Application Support", "/Library/Application Support"}},
      {D::Applications, M::Local, {"/Applications"}},
      {D::Users, M::Local, {"/Users"}},
      {D::Users, M::User, {}},
      {D::Trash, M::User, {"/Users/bob/.Trash"}},
      {D::Pictures, M::User, {"/Users/bob/Pictures"}},
      {D::Library, M::Network, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileSystemLayout::treePaths(c.directory, c.domains, "/Users/bob"), c.expected)
        << static_cast<int>(c.directory) << "/" << static_cast<int>(c.domains);
    std::vector<std::string> hosts;
    for (const auto& path : c.expected) hosts.push_back(root / path);
    EXPECT_EQ(FileSystemLayout::urls(c.directory, c.domains, "/Users/bob"), hosts);
  }
  EXPECT_TRUE(FileSystemLayout::treePaths(D::Caches, M::User, std::nullopt).empty());
}

TEST(FileSystemLayoutTest, TheUserDomainFollowsTheProcessUser) {
  TempRoot root;
  {
    ScopedProcessUser user("root");
    EXPECT_EQ(ProcessUser::name(), "root");
    EXPECT_THAT(FileManager::defaultManager().urls(SearchPathDirectory::Caches, SearchPathDomainMask::User),
                ElementsAre(root / "/var/root/Library/Caches"));
  }
  {
    ScopedProcessUser user("alice");
    EXPECT_FALSE(ProcessUser::isSuperUser());
    EXPECT_EQ(ProcessUser::homeDirectory(), root / "/Users/alice");
    EXPECT_THAT(FileManager::defaultManager().urls(SearchPathDirectory::Library, SearchPathDomainMask::User),
                ElementsAre(root / "/Users/alice/Library"));
  }
}

TEST(PathComponentsTest, ComparesWholeComponents) {
  struct Case {
    std::string path, folder;
    bool inside, sameOrInside;
  };
  const Case cases[] = {
      {"/Users/bob/x", "/Users/bob", true, true},    {"/Users/bobby/x", "/Users/bob", false, false},
      {"/Users/bob", "/Users/bob", false, true},     {"/Users/bob/", "/Users/bob", false, true},
      {"/Users//bob/./x", "/Users/bob/", true, true}, {"/Users/bob/../alice", "/Users/bob", false, false},
      {"/x", "/", true, true},                       {"/", "/", false, true},
      {"/Users", "", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathComponents::isInside(c.path, c.folder), c.inside) << c.path << " in " << c.folder;
    EXPECT_EQ(PathComponents::isSameOrInside(c.path, c.folder), c.sameOrInside) << c.path << " in " << c.folder;
  }
  EXPECT_EQ(PathComponents::normalized("/../a/./b//c/../"), "/a/b");
  EXPECT_EQ(PathComponents::normalized("/.."), "/");
  EXPECT_EQ(PathComponents::appending("/a/", "/b"), "/a/b");
  EXPECT_EQ(PathComponents::appending("/", "tmp"), "/tmp");
  EXPECT_EQ(PathComponents::lastComponent("/a/b/c.app//"), "c.app");
  EXPECT_EQ(PathComponents::lastComponent("name"), "name");
  EXPECT_EQ(PathComponents::lastComponent("/"), "");
  EXPECT_EQ(PathComponents::lastComponent(""), "");
  EXPECT_EQ(PathComponents::withoutTrailingSlashes("/a/b//"), "/a/b");
  EXPECT_EQ(PathComponents::withoutTrailingSlashes("///"), "/");
}

TEST(FileDescriptorTest, ClosesWhatItHoldsAndWritesEverything) {
  TempRoot root;
  const std::string path = root / "/out";
  int released = -1;
  int replaced = -1;
  int held = -1;
  {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(file);
    const std::string big(3 << 20, 'x');
    EXPECT_EQ(FileDescriptor::writeAll(file.get(), big.data(), big.size()), 0);
    FileDescriptor other(::dup(file.get()));
    released = other.release();
    EXPECT_FALSE(other);
    replaced = file.get();
    file.reset(::dup(released));
    held = file.get();
    EXPECT_EQ(::fcntl(replaced, F_GETFD), -1);
  }
  // The released descriptor is still open; the held one is closed.
  EXPECT_EQ(::fcntl(held, F_GETFD), -1);
  EXPECT_NE(::fcntl(released, F_GETFD), -1);
  EXPECT_EQ(::close(released), 0);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 3 << 20);
  EXPECT_EQ(FileDescriptor::writeAll(-1, "x", 1), EBADF);
}

TEST(PathComponentsTest, SingleComponentsNameNoOtherPlace) {
  for (const std::string& name : {std::string("a"), std::string("..."), std::string(".hidden"), std::string("a b"),
                                  std::string(300, 'x')})
    EXPECT_TRUE(PathComponents::isSingleComponent(name)) << name;
  for (const std::string& name : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                  std::string("/"), std::string("a/"), std::string("a\0b", 3)})
    EXPECT_FALSE(PathComponents::isSingleComponent(name)) << name;
}

TEST(FilePackageTest, RecognisesPackageFoldersByExtension) {
  TempRoot root;
  MacTree tree(root);
  tree.addApplication("Foo", "com.x.foo")
      .addDirectory("/p/Lib.FRAMEWORK")
      .addDirectory("/p/Photos Library.photoslibrary")
      .addDirectory("/p/Plain")
      .addDirectory("/p/en.lproj")
      .addDirectory("/p/.app")
      .addFile("/p/file.app", std::string("x"))
      .addSymlink("/p/Link.app", root / "/Applications/Foo.app");
  struct Case {
    std::string treePath;
    bool package;
  };
  const Case cases[] = {
      {"/Applications/Foo.app", true},  {"/Applications/Foo.app/", true}, {"/p/Lib.FRAMEWORK", true},
      {"/p/Photos Library.photoslibrary", true},
      {"/p/Plain", false},              {"/p/en.lproj", false},            {"/p/.app", false},
      {"/p/file.app", false},           {"/p/Link.app", false},            {"/p/missing.app", false},
  };
  for (const Case& c : cases) EXPECT_EQ(FilePackage::isFilePackage(root / c.treePath), c.package) << c.treePath;
  for (const char* ext : {"app", "APP", "bundle", "framework", "plugin", "kext", "photoslibrary", "rtfd", "pkg",
                          "xpc", "appex", "qlgenerator", "prefPane", "prefpane", "saver", "mdimporter"})
    EXPECT_TRUE(FilePackage::isPackageExtension(ext)) << ext;
  for (const char* ext : {"", "lproj", "txt", "plist", "ap"}) EXPECT_FALSE(FilePackage::isPackageExtension(ext)) << ext;
}

// A walked tree with a bit of everything, and a folder outside it that a
// link inside points to.
class WalkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.addFile("/w/a.txt", 3)
        .addFile("/w/.hidden/inner", 1)
        .addFile("/w/Foo.app/Contents/Info.plist", 5)
        .addFile("/w/sub/b.txt", 7)
        .addFile("/w/sub/deeper/c.txt", 11)
        .addFile("/outside/secret", 13)
        .addSymlink("/w/sub/link-out", root / "/outside")
        .addSymlink("/w/sub/link-file", root / "/outside/secret")
        .addSymlink("/w/sub/dangling", root / "/nowhere");
  }

  std::vector<std::string> walk(Options options, std::function<WalkAction(const DirectoryWalker::Entry&)> steer = {}) {
    std::vector<std::string> seen;
    EXPECT_TRUE(DirectoryWalker::walk(root / "/w", options, [&](const DirectoryWalker::Entry& entry) {
      seen.emplace_back(entry.relativePath());
      return steer ? steer(entry) : WalkAction::Continue;
    }));
    return seen;
  }

  TempRoot root;
  MacTree tree{root};
};

TEST_F(WalkerTest, OptionsDecideWhatIsReportedAndEntered) {
  struct Case {
    const char* label;
    Options options;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"everything", Options::None,
       {".hidden", ".hidden/inner", "Foo.app", "Foo.app/Contents", "Foo.app/Contents/Info.plist", "a.txt", "sub",
        "sub/b.txt", "sub/dangling", "sub/deeper", "sub/deeper/c.txt", "sub/link-file", "sub/link-out"}},
      {"no hidden", Options::SkipsHiddenFiles,
       {"Foo.app", "Foo.app/Contents", "Foo.app/Contents/Info.plist", "a.txt", "sub", "sub/b.txt", "sub/dangling",
        "sub/deeper", "sub/deeper/c.txt", "sub/link-file", "sub/link-out"}},
      {"no package contents", Options::SkipsPackageDescendants,
       {".hidden", ".hidden/inner", "Foo.app", "a.txt", "sub", "sub/b.txt", "sub/dangling", "sub/deeper",
        "sub/deeper/c.txt", "sub/link-file", "sub/link-out"}},
      {"top level only", Options::SkipsSubdirectoryDescendants, {".hidden", "Foo.app", "a.txt", "sub"}},
      {"all three", Options::SkipsHiddenFiles | Options::SkipsPackageDescendants | Options::SkipsSubdirectoryDescendants,
       {"Foo.app", "a.txt", "sub"}},
  };
  for (const Case& c : cases) EXPECT_EQ(walk(c.options), c.expected) << c.label;
}

TEST_F(WalkerTest, LinksAreReportedAsThemselvesAndNeverEntered) {
  std::vector<std::string> links;
  DirectoryWalker::walk(root / "/w", Options::None, [&](const DirectoryWalker::Entry& entry) {
    EXPECT_EQ(entry.path().find(root / "/outside"), std::string::npos) << entry.path();
    if (entry.isSymbolicLink()) {
      links.emplace_back(entry.name());
      EXPECT_FALSE(entry.isDirectory());
      auto values = entry.resourceValues(ResourceKeys::IsDirectory | ResourceKeys::IsSymbolicLink);
      EXPECT_TRUE(values && values->isSymbolicLink == true && values->isDirectory == false);
    }
    return WalkAction::Continue;
  });
  EXPECT_THAT(links, ElementsAre("dangling", "link-file", "link-out"));
}

TEST_F(WalkerTest, ValuesReadAheadAreTheValuesReadOnTheWay) {
  // A folder large enough to be read on several threads, beside the small ones.
  for (int i = 0; i < 700; ++i) tree.addFile("/w/many/f" + std::to_string(i), static_cast<std::size_t>(i % 50));
  const auto valuesOf = [this](bool ahead) {
    std::map<std::string, std::string> seen;
    const auto visit = [&](const DirectoryWalker::Entry& entry) {
      const auto size = entry.resourceValues(ResourceKeys::FileSize);
      // A key not read ahead is read on the way.
      const auto link = entry.resourceValues(ResourceKeys::IsSymbolicLink);
      seen[std::string(entry.relativePath())] =
          (size && size->fileSize ? std::to_string(*size->fileSize) : "-") +
          (link && link->isSymbolicLink == true ? " link" : "");
      return WalkAction::Continue;
    };
    EXPECT_TRUE(ahead ? DirectoryWalker::walkReading(root / "/w", Options::None, ResourceKeys::FileSize, visit)
                      : DirectoryWalker::walk(root / "/w", Options::None, visit));
    return seen;
  };
  const auto ahead = valuesOf(true);
  EXPECT_EQ(ahead, valuesOf(false));
  ASSERT_EQ(ahead.size(), 714u);  // 13 entries, "many" and its files
  EXPECT_EQ(ahead.at("many/f49"), "49");
  EXPECT_EQ(ahead.at("sub/deeper/c.txt"), "11");
  // A link is measured as itself, never followed; a folder has no size.
  EXPECT_EQ(ahead.at("sub/link-file").substr(ahead.at("sub/link-file").size() - 5), " link");
  EXPECT_NE(ahead.at("sub/link-file"), "13 link");
  EXPECT_EQ(ahead.at("sub"), "-");
}

TEST_F(WalkerTest, VisitorSteersTheWalk) {
  EXPECT_EQ(walk(Options::None,
                 [](const DirectoryWalker::Entry& e) {
                   return e.isDirectory() ? WalkAction::SkipDescendants : WalkAction::Continue;
                 }),
            (std::vector<std::string>{".hidden", "Foo.app", "a.txt", "sub"}));
  // Leaving a folder at its first file: the parent goes on with its next entry.
  EXPECT_EQ(walk(Options::None,
                 [](const DirectoryWalker::Entry& e) {
                   return e.name() == "b.txt" ? WalkAction::SkipSiblings : WalkAction::Continue;
                 }),
            (std::vector<std::string>{".hidden", ".hidden/inner", "Foo.app", "Foo.app/Contents",
                                      "Foo.app/Contents/Info.plist", "a.txt", "sub", "sub/b.txt"}));
  EXPECT_EQ(walk(Options::None,
                 [](const DirectoryWalker::Entry& e) {
                   return e.name() == "Contents" ? WalkAction::Stop : WalkAction::Continue;
                 }),
            (std::vector<std::string>{".hidden", ".hidden/inner", "Foo.app", "Foo.app/Contents"}));
}

TEST_F(WalkerTest, RootsThatAreNotFoldersAreRefused) {
  tree.addSymlink("/w-link", root / "/w");
  struct Case {
    std::string path;
    int code;
  };
  const Case cases[] = {
      {root / "/missing", ENOENT}, {root / "/w/a.txt", ENOTDIR}, {root / "/w-link", ELOOP},
      {root / "/w-link/", ELOOP},  {"", ENOENT},
  };
  for (const Case& c : cases) {
    int handled = 0;
    Error error;
    EXPECT_FALSE(DirectoryWalker::walk(
        c.path, Options::None, [](const DirectoryWalker::Entry&) { return WalkAction::Continue; },
        [&](const std::string&, const Error&) {
          ++handled;
          return true;
        },
        &error))
        << c.path;
    EXPECT_EQ(handled, 1) << c.path;
    EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
    // O_NOFOLLOW on a link to a folder gives ELOOP or ENOTDIR by system.
    if (c.code == ELOOP)
      EXPECT_TRUE(error.code == ELOOP || error.code == ENOTDIR) << c.path;
    else
      EXPECT_EQ(error.code, c.code) << c.path;
  }
}

TEST_F(WalkerTest, AFolderSwappedForALinkDuringTheWalkIsNotEntered) {
  std::vector<std::string> seen;
  std::vector<std::string> failed;
  DirectoryWalker::walk(
      root / "/w", Options::None,
      [&](const DirectoryWalker::Entry& entry) {
        seen.emplace_back(entry.relativePath());
        if (entry.relativePath() == "sub") {
          std::rename(entry.path().c_str(), (root / "/w-moved").c_str());
          ::symlink((root / "/outside").c_str(), entry.path().c_str());
        }
        return WalkAction::Continue;
      },
      [&](const std::string& path, const Error&) {
        failed.push_back(path);
        return true;
      });
  EXPECT_EQ(seen.back(), "sub");
  EXPECT_THAT(failed, ElementsAre(root / "/w/sub"));
}

TEST_F(WalkerTest, AnErrorHandlerAnsweringFalseEndsTheWalk) {
  std::vector<std::string> seen;
  DirectoryWalker::walk(
      root / "/w", Options::None,
      [&](const DirectoryWalker::Entry& entry) {
        seen.emplace_back(entry.relativePath());
        if (entry.relativePath() == ".hidden") {  // gone before the walk can enter it
          ::unlink((root / "/w/.hidden/inner").c_str());
          ::rmdir((root / "/w/.hidden").c_str());
        }
        return WalkAction::Continue;
      },
      [](const std::string&, const Error&) { return false; });
  EXPECT_THAT(seen, ElementsAre(".hidden"));
}

TEST_F(WalkerTest, ResourceValuesDescribeTheItemItself) {
  tree.setDates("/w/a.txt", Date(1000), Date(2000)).addFile("/w/photo.JPG", 4);
  std::map<std::string, ResourceValues> values;
  const auto keys = ResourceKeys::FileSize | ResourceKeys::ContentAccessDate | ResourceKeys::ContentModificationDate |
                    ResourceKeys::IsDirectory | ResourceKeys::IsPackage | ResourceKeys::TypeIdentifier |
                    ResourceKeys::IsHidden | ResourceKeys::Name | ResourceKeys::CreationDate;
  DirectoryWalker::walk(root / "/w", Options::None, [&](const DirectoryWalker::Entry& entry) {
    auto read = entry.resourceValues(keys);
    EXPECT_TRUE(read.has_value()) << entry.path();
    if (read) values[std::string(entry.relativePath())] = *read;
    return WalkAction::Continue;
  });
  EXPECT_EQ(values["a.txt"].fileSize, 3u);
  EXPECT_EQ(values["a.txt"].contentAccessDate, Date(1000));
  EXPECT_EQ(values["a.txt"].contentModificationDate, Date(2000));
  EXPECT_EQ(values["a.txt"].isDirectory, false);
  EXPECT_EQ(values["a.txt"].name, "a.txt");
  EXPECT_EQ(values["photo.JPG"].typeIdentifier, "public.jpeg");
  EXPECT_EQ(values["sub"].fileSize, std::nullopt);
  EXPECT_EQ(values["sub"].isDirectory, true);
  EXPECT_EQ(values["sub"].typeIdentifier, "public.folder");
  EXPECT_EQ(values["Foo.app"].isPackage, true);
  EXPECT_EQ(values["Foo.app"].typeIdentifier, "com.apple.application-bundle");
  EXPECT_EQ(values[".hidden"].isHidden, true);
  EXPECT_EQ(values["sub/link-out"].isDirectory, false);
  EXPECT_EQ(values["sub/link-out"].typeIdentifier, "public.symlink");
  // Keys not asked for stay absent.
  auto few = ResourceValues::read(root / "/w/a.txt", ResourceKeys::FileSize);
  ASSERT_TRUE(few);
  EXPECT_EQ(few->fileSize, 3u);
  EXPECT_FALSE(few->contentAccessDate || few->isDirectory || few->name);
  Error error;
  EXPECT_FALSE(ResourceValues::read(root / "/w/none", ResourceKeys::FileSize, &error));
  EXPECT_EQ(error.code, ENOENT);
}

TEST(FileManagerTest, ItemTestsNeverFollowTheLastLink) {
  TempRoot root;
  MacTree tree(root);
  tree.addFile("/d/f", 2).addSymlink("/d/to-dir", root / "/Library").addSymlink("/d/dangling", "nowhere");
  const FileManager& fm = FileManager::defaultManager();
  struct Case {
    std::string treePath;
    bool exists, directory, link;
  };
  const Case cases[] = {
      {"/d", true, true, false},         {"/d/", true, true, false},       {"/d/f", true, false, false},
      {"/d/to-dir", true, false, true},  {"/d/to-dir/", true, false, true}, {"/d/dangling", true, false, true},
      {"/d/missing", false, false, false},
  };
  for (const Case& c : cases) {
    bool isDirectory = !c.directory;
    EXPECT_EQ(fm.fileExists(root / c.treePath, &isDirectory), c.exists) << c.treePath;
    EXPECT_EQ(isDirectory, c.directory) << c.treePath;
    EXPECT_EQ(fm.isDirectory(root / c.treePath), c.directory) << c.treePath;
    EXPECT_EQ(fm.isSymbolicLink(root / c.treePath), c.link) << c.treePath;
  }
  EXPECT_FALSE(fm.fileExists(""));
}

TEST(FileManagerTest, ListsCreatesAndReadsLinks) {
  TempRoot root;
  MacTree tree(root);
  tree.addFile("/d/b", 1).addFile("/d/.a", 1).addFile("/d/c/e", 1).addSymlink("/d/l", root / "/Library");
  const FileManager& fm = FileManager::defaultManager();
  EXPECT_EQ(fm.contentsOfDirectory(root / "/d"), (std::vector<std::string>{".a", "b", "c", "l"}));
  EXPECT_EQ(fm.subpathsOfDirectory(root / "/d"), (std::vector<std::string>{".a", "b", "c", "c/e", "l"}));
  Error error;
  EXPECT_EQ(fm.contentsOfDirectory(root / "/d/l", &error), std::nullopt);
  EXPECT_EQ(fm.contentsOfDirectory(root / "/d/b", &error), std::nullopt);
  EXPECT_EQ(error.code, ENOTDIR);
  EXPECT_EQ(fm.contentsOfDirectory(root / "/none", &error), std::nullopt);
  EXPECT_EQ(error.code, ENOENT);

  EXPECT_TRUE(fm.createDirectory(root / "/n/e/w", true));
  EXPECT_TRUE(fm.isDirectory(root / "/n/e/w"));
  EXPECT_TRUE(fm.createDirectory(root / "/n/e/w", true));
  EXPECT_FALSE(fm.createDirectory(root / "/n/e/w", false, &error));
  EXPECT_EQ(error.code, EEXIST);
  EXPECT_FALSE(fm.createDirectory(root / "/d/b/x", true, &error));
  EXPECT_EQ(error.code, ENOTDIR);

  EXPECT_EQ(fm.destinationOfSymbolicLink(root / "/tmp"), "private/tmp");
  EXPECT_EQ(fm.destinationOfSymbolicLink(root / "/d/b", &error), std::nullopt);
  EXPECT_EQ(error.code, EINVAL);
}

TEST(MacTreeTest, LaysOutTheMachineUsersAndBundles) {
  TempRoot root;
  MacTree tree(root);
  tree.addUser("bob").addUser("root").addContainer("bob", "com.x.foo").addApplication("Foo", "com.x.foo & co");
  const FileManager& fm = FileManager::defaultManager();
  for (const char* path :
       {"/Users", "/Applications", "/var/root", "/Library/Caches", "/Library/Logs", "/Library/Application Support",
        "/Library/Preferences", "/System/Library/Caches", "/private/tmp", "/Users/bob/.Trash",
        "/Users/bob/Library/Caches", "/Users/bob/Library/Logs", "/Users/bob/Library/Containers",
        "/Users/bob/Library/Application Support", "/Users/bob/Library/Preferences", "/var/root/Library/Caches",
        "/Users/bob/Library/Containers/com.x.foo/Data/Library/Caches", "/Applications/Foo.app/Contents/MacOS",
        "/Applications/Foo.app/Contents/Resources/en.lproj", "/Applications/Foo.app/Contents/Resources/Base.lproj"})
    EXPECT_TRUE(fm.isDirectory(root / path)) << path;
  EXPECT_TRUE(fm.isSymbolicLink(root / "/tmp"));
  EXPECT_TRUE(fm.fileExists(root / "/Applications/Foo.app/Contents/Resources/AppIcon.icns"));
  test::ApplicationBundle bundle;
  bundle.name = "Foo";
  bundle.bundleIdentifier = "com.x.foo & co";
  const std::string plist = MacTree::infoPlist(bundle);
  EXPECT_NE(plist.find("<key>CFBundleIdentifier</key>\n\t<string>com.x.foo &amp; co</string>"), std::string::npos);
  EXPECT_NE(plist.find("<key>CFBundleIconFile</key>\n\t<string>AppIcon</string>"), std::string::npos);
  tree.addFile("/f", 100000).addSparseFile("/big", 1ull << 32);
  EXPECT_EQ(fm.resourceValues(root / "/f", ResourceKeys::FileSize)->fileSize, 100000u);
  EXPECT_EQ(fm.resourceValues(root / "/big", ResourceKeys::FileSize)->fileSize, 1ull << 32);
  EXPECT_THROW(tree.addUser(".."), std::invalid_argument);
}

// Which files of a walk this process may delete, by name, as the walk
// decides it.
std::string deletableNames(const std::string& root) {
  std::string names;
  DirectoryWalker::walk(root, Options::None, [&names](const DirectoryWalker::Entry& entry) {
    if (!entry.isDirectory() && entry.isDeletable()) names += std::string(entry.name()) + " ";
    return WalkAction::Continue;
  });
  return names;
}

TEST(DirectoryWalkerTest, DeletabilityFollowsTheFoldersAccessAndTheStickyRule) {
  TempRoot root;
  ASSERT_EQ(::chmod(root.path().c_str(), 0755), 0);
  constexpr uid_t kNobody = 65534;
  const std::string tree = root.makeDirectory("/t");
  root.writeFile("/t/open/a", "x");
  root.writeFile("/t/closed/b", "x");
  root.writeFile("/t/sticky/c-root", "x");
  root.writeFile("/t/sticky/d-nobody", "x");
  ASSERT_EQ(::chmod((tree + "/open").c_str(), 0777), 0);
  ASSERT_EQ(::chmod((tree + "/closed").c_str(), 0555), 0);
  ASSERT_EQ(::chmod((tree + "/sticky").c_str(), 01777), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::lchown((tree + "/sticky/d-nobody").c_str(), kNobody, kNobody), 0);
  }

  if (::geteuid() != 0) {
    EXPECT_EQ(deletableNames(tree), "a c-root d-nobody ");
    GTEST_SKIP() << "needs root to walk as another user";
  }
  EXPECT_EQ(deletableNames(tree), "b a c-root d-nobody ");  // root: every one

  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    const std::string names = deletableNames(tree);
    const bool written = ::write(pipe[1], names.data(), names.size()) == static_cast<ssize_t>(names.size());
    ::_exit(written ? 0 : 3);
  }
  ::close(pipe[1]);
  std::string seen;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // Not in the read-only folder; in the sticky one only its own file.
  EXPECT_EQ(seen, "a d-nobody ");
}

}  // namespace
}  // namespace vozi::platform
