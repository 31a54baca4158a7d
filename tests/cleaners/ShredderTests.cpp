#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "cleaners/ShredderGroupSanitizer.h"
#include "common/FileItem.h"
#include "platform/PosixError.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

enum class Kind { zeros, ones, random, mixed };

Kind kindOf(const std::uint8_t* bytes, std::size_t size) {
  if (std::all_of(bytes, bytes + size, [](std::uint8_t b) { return b == 0x00; })) return Kind::zeros;
  if (std::all_of(bytes, bytes + size, [](std::uint8_t b) { return b == 0xFF; })) return Kind::ones;
  return Kind::random;
}

// Writes through, and remembers per file (by size) the kind of each write
// and where the syncs fell; fails the nth write of a file of a chosen size.
class WatchingWriter : public FileShredder::Writer {
 public:
  struct Log {
    std::vector<std::pair<Kind, std::size_t>> writes;  // kind, size
    std::vector<std::size_t> syncsAfter;               // number of writes before each sync
  };
  std::map<std::uint64_t, Log> logs;
  std::uint64_t failingSize = 0;
  std::size_t failAtWrite = 0;

  platform::Result<void> write(const platform::FileDescriptor& file, const void* bytes, std::size_t size,
                               std::uint64_t offset) override {
    Log& log = logs[sizeOf(file)];
    log.writes.emplace_back(kindOf(static_cast<const std::uint8_t*>(bytes), size), size);
    if (sizeOf(file) == failingSize && log.writes.size() == failAtWrite) return platform::PosixError::make(ENOSPC);
    return Writer::write(file, bytes, size, offset);
  }
  platform::Result<void> sync(const platform::FileDescriptor& file) override {
    Log& log = logs[sizeOf(file)];
    log.syncsAfter.push_back(log.writes.size());
    return Writer::sync(file);
  }

 private:
  static std::uint64_t sizeOf(const platform::FileDescriptor& file) {
    return static_cast<std::uint64_t>(::lseek(file.get(), 0, SEEK_END));
  }
};

class ShredderTest : public ::testing::Test, public test::ScanFixture {
 protected:
  const std::string folder = "/Users/bob/Secret";
  std::shared_ptr<ShredderGroup> group =
      std::static_pointer_cast<ShredderGroup>(ItemGroup::group(ItemGroupName::shredder));
  std::shared_ptr<test::FakeUserAgentLink> link = std::make_shared<test::FakeUserAgentLink>();
  std::shared_ptr<WatchingWriter> writer = std::make_shared<WatchingWriter>();
  std::uint64_t units = 0;
  std::uint64_t duration = 0;

  ShredderTest() { link->setSessionUid(::geteuid()); }

  void choose(const std::string& treePath) {
    group->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(tree.host(treePath)), 0, std::nullopt));
  }
  void shred() {
    run(std::make_shared<ShredderOperation>(
        group, nullptr,
        [this](std::uint64_t done, std::uint64_t total) {
          units += done;
          duration = total;
        },
        SanitizerEnvironment{queue, link, nullptr}, writer));
  }
  std::vector<std::string> left() const {
    std::vector<std::string> names;
    group->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      names.push_back(fs::path(dynamic_cast<const FileItem&>(*item).path()).filename().string());
    });
    return names;
  }
  bool exists(const std::string& treePath) const { return fs::exists(fs::symlink_status(tree.host(treePath))); }
};

TEST_F(ShredderTest, SevenCheckedPassesEachPutOnDiskThenTheFileGoes) {
  tree.addFile(folder + "/blocks", std::string(4096 * 2, 'a')).addFile(folder + "/tail", std::string(4097, 'b'));
  choose(folder + "/blocks");
  choose(folder + "/tail");
  shred();

  EXPECT_EQ(duration, 7u * 3);
  EXPECT_EQ(units, 7u * 3);
  EXPECT_FALSE(exists(folder + "/blocks"));
  EXPECT_FALSE(exists(folder + "/tail"));
  EXPECT_EQ(left(), (std::vector<std::string>{"blocks", "tail"}));

  const std::vector<Kind> passes = {Kind::zeros, Kind::ones, Kind::random, Kind::zeros,
                                    Kind::ones,  Kind::random, Kind::random};
  // Two blocks a pass.
  const auto& blocks = writer->logs[8192];
  ASSERT_EQ(blocks.writes.size(), 14u);
  ASSERT_EQ(blocks.syncsAfter, (std::vector<std::size_t>{2, 4, 6, 8, 10, 12, 14}));
  for (std::size_t pass = 0; pass < 7; ++pass) {
    for (std::size_t block = 0; block < 2; ++block)
      EXPECT_EQ(blocks.writes[pass * 2 + block], std::make_pair(passes[pass], std::size_t{4096})) << pass;
  }
  // One block and a byte a pass (a random byte may be anything).
  const auto& tail = writer->logs[4097];
  ASSERT_EQ(tail.writes.size(), 14u);
  EXPECT_EQ(tail.syncsAfter, (std::vector<std::size_t>{2, 4, 6, 8, 10, 12, 14}));
  for (std::size_t pass = 0; pass < 7; ++pass) {
    EXPECT_EQ(tail.writes[pass * 2], std::make_pair(passes[pass], std::size_t{4096})) << pass;
    EXPECT_EQ(tail.writes[pass * 2 + 1].second, 1u);
    if (passes[pass] != Kind::random) {
      EXPECT_EQ(tail.writes[pass * 2 + 1].first, passes[pass]);
    }
  }
}

TEST_F(ShredderTest, WhatCannotBeShreddedSafelyStaysAndLeavesTheGroup) {
  tree.addFile("/Users/bob/Documents/target", std::string(4096, 't'))
      .addSymlink(folder + "/link", tree.host("/Users/bob/Documents/target"))
      .addDirectory(folder + "/folder")
      .addFile(folder + "/twice", std::string(100, 'w'))
      .addFile(folder + "/failing", std::string(4096 * 3, 'f'))
      .addFile(folder + "/fine", std::string(10, 'o'));
  fs::create_hard_link(tree.host(folder + "/twice"), tree.host("/Users/bob/Documents/second name"));
  writer->failingSize = 4096 * 3;
  writer->failAtWrite = 5;
  for (const char* name : {"/link", "/folder", "/twice", "/failing", "/fine"}) choose(folder + name);
  const bool root = ::geteuid() == 0;
  if (root) {
    tree.addFile(folder + "/theirs", std::string(50, 'x'));
    ASSERT_EQ(::chown(tree.host(folder + "/theirs").c_str(), 4321, 4321), 0);
    choose(folder + "/theirs");
  }
  shred();

  EXPECT_EQ(left(), std::vector<std::string>{"fine"});
  EXPECT_FALSE(exists(folder + "/fine"));
  for (const char* kept : {"/link", "/folder", "/twice", "/failing"}) EXPECT_TRUE(exists(folder + kept)) << kept;
  if (root) {
    EXPECT_TRUE(exists(folder + "/theirs"));
  }
  std::ifstream target(tree.host("/Users/bob/Documents/target"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(target), {}), std::string(4096, 't'));
}

TEST_F(ShredderTest, WithoutASessionUserARootDaemonShredsNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root refuses without a session";
  tree.addFile(folder + "/file", 10);
  choose(folder + "/file");
  link->setSessionUid(std::nullopt);
  shred();
  EXPECT_TRUE(left().empty());
  EXPECT_TRUE(exists(folder + "/file"));
}

}  // namespace
}  // namespace vozi
