#include "common/IconsCache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/MacTree.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

const std::string kCacheFolder = "/Library/Application Support/div.ez.iru/iconCache";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class IconsCacheTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  std::string bundle = root.makeDirectory("/Applications/Sample.app");
  std::string icon = root.writeFile("/Applications/Sample.app/Contents/Resources/AppIcon.icns", "icon-bytes");

  std::string cached(const std::string& identifier, const std::string& name) const {
    return root / (kCacheFolder + "/" + identifier + "/" + name);
  }
};

TEST(IconsCacheRestartTest, KeepsAndFindsAnApplicationsIconAcrossARestart) {
  test::TempRoot root;
  test::MacTree tree(root);
  test::ApplicationBundle app;
  app.name = "Sample Editor";
  app.bundleIdentifier = "com.example.editor";
  tree.addApplication(app);
  const std::string bundle = tree.host(test::MacTree::applicationPath(app));
  const std::string icon = bundle + "/Contents/Resources/AppIcon.icns";
  const std::string copy = root / (kCacheFolder + "/com.example.editor/AppIcon.icns");
  {
    IconsCache cache;
    EXPECT_EQ(cache.cacheDirectory(), root / kCacheFolder);
    // The product folder does not exist yet: it is made on the way.
    cache.cacheIcon(icon, app.bundleIdentifier, bundle);
    EXPECT_EQ(readFile(copy), readFile(icon));
    EXPECT_TRUE(fs::is_regular_file(root / (kCacheFolder + "/com_cache")));
    EXPECT_EQ(cache.cachedIconPathForId(app.bundleIdentifier), copy);
  }
  IconsCache restarted(root / kCacheFolder);
  const auto url = restarted.cachedIconForId(app.bundleIdentifier);
  ASSERT_TRUE(url);
  EXPECT_EQ(*url, IconsCache::fileURLString(copy));
  EXPECT_EQ(url->rfind("file:///", 0), 0u);
  EXPECT_NE(url->find("Application%20Support"), std::string::npos);
  EXPECT_EQ(restarted.cachedIconPathForId(app.bundleIdentifier), copy);

  // An identifier that climbs out of the cache folder is refused.
  restarted.cacheIcon(icon, "../x", bundle);
  EXPECT_EQ(restarted.cachedIconForId("../x"), std::nullopt);
  EXPECT_FALSE(fs::exists(root / "/Library/Application Support/div.ez.iru/x"));
}

TEST_F(IconsCacheTest, NeverCachedIdentifierGivesNothingAndWritesNothing) {
  IconsCache cache;
  EXPECT_EQ(cache.cachedIconForId("com.example.unknown"), std::nullopt);
  EXPECT_FALSE(fs::exists(root / kCacheFolder));
}

TEST_F(IconsCacheTest, ASecondIconReplacesTheFirst) {
  const std::string other = root.writeFile("/Applications/Sample.app/Contents/Resources/Other.icns", "other");
  IconsCache cache;
  cache.cacheIcon(icon, "com.example.sample", bundle);
  cache.cacheIcon(other, "com.example.sample", bundle);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root / (kCacheFolder + "/com.example.sample")))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Other.icns"});
  EXPECT_EQ(cache.cachedIconPathForId("com.example.sample"), cached("com.example.sample", "Other.icns"));
}

// Every scan caches the same icons again: an unchanged one keeps its copy,
// a changed one is copied anew.
TEST_F(IconsCacheTest, AnUnchangedIconKeepsItsCopyAndAChangedOneIsCopiedAgain) {
  IconsCache cache;
  const std::string copy = cached("com.example.sample", "AppIcon.icns");
  auto inode = [](const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
  };
  cache.cacheIcon(icon, "com.example.sample", bundle);
  const auto first = inode(copy);
  ASSERT_NE(first, 0u);
  cache.cacheIcon(icon, "com.example.sample", bundle);
  EXPECT_EQ(inode(copy), first);

  // Same size, newer: copied again.
  root.writeFile("/Applications/Sample.app/Contents/Resources/AppIcon.icns", "ICON-BYTES");
  const auto later = fs::last_write_time(copy) + std::chrono::seconds(5);
  fs::last_write_time(icon, later);
  cache.cacheIcon(icon, "com.example.sample", bundle);
  EXPECT_EQ(readFile(copy), "ICON-BYTES");
  // Another size: copied again, whatever the dates say.
  root.writeFile("/Applications/Sample.app/Contents/Resources/AppIcon.icns", "longer icon bytes");
  fs::last_write_time(icon, fs::last_write_time(copy) - std::chrono::seconds(60));
  cache.cacheIcon(icon, "com.example.sample", bundle);
  EXPECT_EQ(readFile(copy), "longer icon bytes");
}

TEST_F(IconsCacheTest, MissingIconEmptiesTheFolderAndKeepsTheFormerEntry) {
  IconsCache cache;
  cache.cacheIcon(icon, "com.example.sample", bundle);
  cache.cacheIcon(bundle + "/Contents/Resources/Missing.icns", "com.example.sample", bundle);
  EXPECT_TRUE(fs::is_empty(root / (kCacheFolder + "/com.example.sample")));
  EXPECT_EQ(cache.cachedIconPathForId("com.example.sample"), cached("com.example.sample", "AppIcon.icns"));

  cache.cacheIcon(bundle + "/Contents/Resources/Missing.icns", "com.example.never", bundle);
  EXPECT_EQ(cache.cachedIconForId("com.example.never"), std::nullopt);
}

TEST_F(IconsCacheTest, RefusesIdentifiersThatAreNotAPlainFolderName) {
  // Folders the removal would reach if an identifier could climb out.
  const std::string productSibling = root.writeFile("/Library/Application Support/div.ez.iru/x/keep", "keep");
  const std::string cacheFile = root.writeFile(kCacheFolder + "/com_cache", "");
  fs::remove(cacheFile);
  const std::string inside = root.writeFile(kCacheFolder + "/keep/keep", "keep");

  IconsCache cache;
  for (const std::string& identifier :
       {std::string(), std::string("."), std::string(".."), std::string("../x"), std::string("a/b"),
        std::string("/x"), std::string("keep\0x", 6)}) {
    SCOPED_TRACE(identifier);
    EXPECT_FALSE(IconsCache::isAcceptableIdentifier(identifier));
    cache.cacheIcon(icon, identifier, bundle);
    EXPECT_EQ(cache.cachedIconForId(identifier), std::nullopt);
  }
  EXPECT_EQ(readFile(productSibling), "keep");
  EXPECT_EQ(readFile(inside), "keep");
  EXPECT_FALSE(fs::exists(root / (kCacheFolder + "/com_cache")));
  EXPECT_TRUE(IconsCache::isAcceptableIdentifier("com.example.sample"));
  EXPECT_TRUE(IconsCache::isAcceptableIdentifier("..."));
}

TEST_F(IconsCacheTest, CopiesOnlyARegularFileInsideTheBundleWithoutFollowingLinks) {
  const std::string secret = root.writeFile("/private/var/secret", "secret");
  const std::string outsideFolder = root.makeDirectory("/private/var/outside");
  root.writeFile("/private/var/outside/AppIcon.icns", "secret");

  struct Case {
    std::string name;
    std::function<void(const std::string& bundle)> prepare;
    std::string iconInBundle;  // relative to the bundle, or absolute
  };
  const std::vector<Case> cases = {
      {"climbs out with ..", nullptr, "Contents/../../../private/var/secret"},
      {"elsewhere entirely", nullptr, secret},
      {"icon is a link", [&](const std::string& b) { fs::create_symlink(secret, b + "/Contents/Resources/Link.icns"); },
       "Contents/Resources/Link.icns"},
      {"folder on the way is a link",
       [&](const std::string& b) { fs::create_symlink(outsideFolder, b + "/Contents/Linked"); },
       "Contents/Linked/AppIcon.icns"},
      {"icon is a folder",
       [&](const std::string& b) { fs::create_directories(b + "/Contents/Resources/Folder.icns"); },
       "Contents/Resources/Folder.icns"},
      {"icon is a pipe",
       [&](const std::string& b) { ASSERT_EQ(::mkfifo((b + "/Contents/Resources/Pipe.icns").c_str(), 0644), 0); },
       "Contents/Resources/Pipe.icns"},
      {"icon is the bundle", nullptr, ""},
  };
  IconsCache cache;
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    if (testCase.prepare) testCase.prepare(bundle);
    const std::string path =
        testCase.iconInBundle.rfind("/", 0) == 0 ? testCase.iconInBundle : bundle + "/" + testCase.iconInBundle;
    cache.cacheIcon(path, "com.example.sample", bundle);
    EXPECT_TRUE(fs::is_empty(root / (kCacheFolder + "/com.example.sample")));
    EXPECT_EQ(cache.cachedIconForId("com.example.sample"), std::nullopt);
  }

  // A bundle that is itself a link is not entered either.
  const std::string linkedBundle = root / "/Applications/Linked.app";
  fs::create_symlink(bundle, linkedBundle);
  cache.cacheIcon(linkedBundle + "/Contents/Resources/AppIcon.icns", "com.example.linked", linkedBundle);
  EXPECT_EQ(cache.cachedIconForId("com.example.linked"), std::nullopt);

  // Nor one reached through a linked folder above it.
  const std::string linkedFolder = root / "/Applications/Linked";
  fs::create_symlink(fs::path(bundle).parent_path(), linkedFolder);
  const std::string throughLink = linkedFolder + "/" + fs::path(bundle).filename().string();
  cache.cacheIcon(throughLink + "/Contents/Resources/AppIcon.icns", "com.example.above", throughLink);
  EXPECT_EQ(cache.cachedIconForId("com.example.above"), std::nullopt);

  EXPECT_EQ(readFile(secret), "secret");
}

TEST_F(IconsCacheTest, APlantedLinkInPlaceOfTheIdentifierFolderIsRemovedNotFollowed) {
  const std::string outside = root.writeFile("/private/var/victim/file", "keep");
  fs::create_directories(root / kCacheFolder);
  fs::create_symlink(fs::path(outside).parent_path(), root / (kCacheFolder + "/com.example.sample"));
  IconsCache cache;
  cache.cacheIcon(icon, "com.example.sample", bundle);
  EXPECT_EQ(readFile(outside), "keep");
  EXPECT_FALSE(fs::is_symlink(root / (kCacheFolder + "/com.example.sample")));
  EXPECT_EQ(readFile(cached("com.example.sample", "AppIcon.icns")), "icon-bytes");
}

TEST_F(IconsCacheTest, AnIndexWithANonTextValueIsDiscardedWhole) {
  root.writeFile(kCacheFolder + "/com_cache",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                 "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                 "<plist version=\"1.0\"><dict>"
                 "<key>com.example.a</key><string>file:///Library/a.icns</string>"
                 "<key>com.example.b</key><integer>5</integer>"
                 "</dict></plist>\n");
  IconsCache cache;
  EXPECT_EQ(cache.cachedIconForId("com.example.a"), std::nullopt);
}

TEST_F(IconsCacheTest, ACorruptIndexStartsEmptyAndIsOverwritten) {
  root.writeFile(kCacheFolder + "/com_cache", "not a property list");
  IconsCache cache;
  cache.cacheIcon(icon, "com.example.sample", bundle);
  IconsCache restarted(root / kCacheFolder);
  EXPECT_EQ(restarted.cachedIconPathForId("com.example.sample"), cached("com.example.sample", "AppIcon.icns"));
}

TEST(IconsCacheURLTest, FileURLsRoundTripWithEscapes) {
  for (const std::string& path : std::vector<std::string>{"/Library/Application Support/a b/icon.icns", "/x/ícone #1?.icns", "/a%b/c"}) {
    SCOPED_TRACE(path);
    const std::string url = IconsCache::fileURLString(path);
    EXPECT_EQ(url.find(' '), std::string::npos);
    EXPECT_EQ(IconsCache::pathFromFileURLString(url), path);
  }
  EXPECT_EQ(IconsCache::fileURLString("/Library/Application Support/x"),
            "file:///Library/Application%20Support/x");
  for (const std::string& bad : std::vector<std::string>{"http://host/x", "file://relative", "file:///a%zz", "file:///a%2", "file:///a%00b", "/x"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(IconsCache::pathFromFileURLString(bad), std::nullopt);
  }
}

}  // namespace
}  // namespace vozi
