#include <gtest/gtest.h>

#include <vector>

#include "platform/URL.h"

using vozi::platform::URL;

TEST(URL, FileURLsPercentEncodeTheirPathAndDecodeItBack) {
  struct Case {
    const char* path;
    bool directory;
    const char* absolute;
    const char* last;
    const char* extension;
  } cases[] = {
      {"/a/b c.txt", false, "file:///a/b%20c.txt", "b c.txt", "txt"},
      {"/Applications/A.app", true, "file:///Applications/A.app/", "A.app", "app"},
      {"/x/archive.tar.gz", false, "file:///x/archive.tar.gz", "archive.tar.gz", "gz"},
      {"/x/.profile", false, "file:///x/.profile", ".profile", ""},
      {"/x/100%?#", false, "file:///x/100%25%3F%23", "100%?#", ""},
      {"/", true, "file:///", "/", ""},
  };
  for (const auto& c : cases) {
    const URL url = URL::fileURLWithPath(c.path, c.directory);
    EXPECT_EQ(url.absoluteString(), c.absolute);
    EXPECT_EQ(url.path(), c.path);
    EXPECT_EQ(url.lastPathComponent(), c.last);
    EXPECT_EQ(url.pathExtension(), c.extension);
    EXPECT_TRUE(url.isFileURL());
    EXPECT_EQ(url.hasDirectoryPath(), c.directory);
    EXPECT_EQ(URL::fromString(c.absolute), url);
  }
}

TEST(URL, EditsPathComponents) {
  const URL url = URL::fileURLWithPath("/Apps/My App.app", true);
  EXPECT_EQ(url.deletingPathExtension().path(), "/Apps/My App");
  EXPECT_EQ(url.deletingLastPathComponent().absoluteString(), "file:///Apps/");
  EXPECT_EQ(url.appendingPathComponent("Contents").path(), "/Apps/My App.app/Contents");
  EXPECT_EQ(URL::fileURLWithPath("/a/.git").deletingPathExtension().path(), "/a/.git");
}

// The short forms records use must give what the long forms give, for URLs
// made from paths and for URLs read back with escapes of their own.
TEST(URL, ShortFormsAgreeWithTheLongForms) {
  std::vector<URL> urls;
  for (const char* path : {"/a/b c.txt", "/x/archive.tar.gz", "/x/.profile", "/x/100%?#", "/", "/x/dot.", "/é/ü.plist",
                           "/a//b.c", "relative/n.txt"})
    for (bool directory : {false, true}) urls.push_back(URL::fileURLWithPath(path, directory));
  for (const char* text : {"file:///a%2fb.txt", "file:///a%41%2e%62", "file:///a/b%20c.d/", "file:///x/y.z?q#f",
                           "file:///a/b[1].txt", "https://example.com/w.html", "https://example.com/",
                           "file:///a%20b/c%2Fd", "file:///a%c3%a9", "file:///a%C3%A9", "file:///%25/", "file:///%7E"})
    urls.push_back(*URL::fromString(text));
  for (const URL& url : urls) {
    SCOPED_TRACE(url.absoluteString());
    EXPECT_EQ(url.encodedPath(), URL::percentEncodePath(url.path()));
    EXPECT_EQ(url.lastPathComponentWithoutExtension(), url.deletingPathExtension().lastPathComponent());
  }
  EXPECT_EQ(URL::fileURLWithPath("/a/b c.tar.gz").lastPathComponentWithoutExtension(), "b c.tar");
  EXPECT_EQ(URL::fromString("file:///a/b[1].txt")->encodedPath(), "/a/b%5B1%5D.txt");
}

TEST(URL, RejectsTextThatIsNoURL) {
  EXPECT_FALSE(URL::fromString("/plain/path"));
  EXPECT_FALSE(URL::fromString("file:///bad%zzescape"));
  EXPECT_FALSE(URL::fromString("file:///nul%00byte"));
  EXPECT_FALSE(URL::fromString("file:///cut%2"));
  EXPECT_FALSE(URL::fromString("FiLe:///nul%00"));  // the scheme in any case
  const auto mixed = URL::fromString("FILE:///a%20b/c%25d%2");
  EXPECT_FALSE(mixed);
  const auto escaped = URL::fromString("File:///a%20b/c%25d");
  ASSERT_TRUE(escaped);
  EXPECT_TRUE(escaped->isFileURL());
  EXPECT_EQ(escaped->path(), "/a b/c%d");
  const auto web = URL::fromString("https://example.com/a%20b?q=1");
  ASSERT_TRUE(web);
  EXPECT_FALSE(web->isFileURL());
  EXPECT_EQ(web->scheme(), "https");
  EXPECT_EQ(web->path(), "/a b");
  EXPECT_EQ(URL::percentDecode("%41%42c"), "ABc");
}
