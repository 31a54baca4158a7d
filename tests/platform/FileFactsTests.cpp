// What the cleaning modules learn of files and of the machine: digests of a
// file's ends, free memory, the kind of disk, overwriting in place.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/DiskKind.h"
#include "platform/FileOverwrite.h"
#include "platform/ProcessInfo.h"
#include "platform/Sha256.h"
#include "platform/TreePath.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using platform::Sha256;

TEST(FileFacts, TheEndsDigestSeesTheLengthAndBothEndsOnly) {
  test::TempRoot root;
  std::string base(20000, 'x');
  std::string middle = base, first = base, last = base;
  middle[10000] = 'y';
  first[0] = 'y';
  last[19999] = 'y';
  auto folder = platform::TreePath::openFolder(root.path());
  ASSERT_TRUE(folder);
  const auto ends = [&](const std::string& name, const std::string& content) {
    root.writeFile("/" + name, content);
    return Sha256::digestOfFileEndsBelow(folder->descriptor.get(), name, 4096);
  };
  const auto reference = ends("base", base);
  ASSERT_TRUE(reference);
  EXPECT_EQ(ends("middle", middle), reference);
  EXPECT_NE(ends("first", first), reference);
  EXPECT_NE(ends("last", last), reference);
  EXPECT_NE(ends("shorter", base.substr(1)), reference);
  EXPECT_TRUE(ends("small", "abc"));
  EXPECT_FALSE(Sha256::digestOfFileEndsBelow(folder->descriptor.get(), "missing", 4096));
  EXPECT_FALSE(Sha256::digestOfFileEndsBelow(folder->descriptor.get(), "../missing", 4096));
  // The whole digest is still the identity.
  EXPECT_NE(Sha256::digestOfFile(root / "/middle"), Sha256::digestOfFile(root / "/base"));
  EXPECT_EQ(Sha256::digestOfFile(root / "/base"), Sha256::digest(base.data(), base.size()));
}

TEST(FileFacts, FreeMemoryComesFromTheMemFreeLine) {
  test::TempRoot root;
  const std::pair<const char*, std::optional<unsigned long long>> cases[] = {
      {"MemTotal: 100 kB\nMemFree:    2048 kB\n", 2048ull * 1024},
      {"MemFree: 0 kB\n", 0ull},
      {"MemTotal: 100 kB\n", std::nullopt},
      {"MemFree: lots\n", std::nullopt},
      {"MemFree: 5 MB\n", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    platform::ProcessInfo::setMemoryReportPathForTesting(root.writeFile("/meminfo", text));
    EXPECT_EQ(platform::ProcessInfo::freeMemory(), expected) << text;
  }
  platform::ProcessInfo::setMemoryReportPathForTesting(root / "/missing");
  EXPECT_FALSE(platform::ProcessInfo::freeMemory());
  platform::ProcessInfo::setMemoryReportPathForTesting(std::nullopt);
  EXPECT_TRUE(platform::ProcessInfo::freeMemory());
}

TEST(FileFacts, AnUnknownDiskDoesNotSpin) {
  EXPECT_FALSE(platform::DiskKind::isRotational("/no/such/path"));
  EXPECT_FALSE(platform::DiskKind::isRotational("/proc/self"));
}

TEST(FileFacts, OverwriteRemovesOnlyTheFileItOpened) {
  test::TempRoot root;
  const std::string path = root.writeFile("/file", "content");
  auto opened = platform::FileOverwrite::open(path, ::geteuid());
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->size, 7u);
  ASSERT_TRUE(platform::FileOverwrite::writeAt(opened->descriptor, "XY", 2, 5));
  ASSERT_TRUE(platform::FileOverwrite::sync(opened->descriptor));
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "conteXY");

  // Swapped for another file since: left alone.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  root.writeFile("/file", "new one");
  EXPECT_FALSE(platform::FileOverwrite::removeIfSame(path, opened->device, opened->inode));
  EXPECT_EQ(::access(path.c_str(), F_OK), 0);
  EXPECT_FALSE(platform::FileOverwrite::open(path, ::geteuid() + 1));
}

}  // namespace
}  // namespace vozi
