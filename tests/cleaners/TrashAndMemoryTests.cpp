#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cleaners/MemorySanitizer.h"
#include "cleaners/TrashBinGroupSanitizer.h"
#include "common/FileItem.h"
#include "common/MemoryItem.h"
#include "common/VfsPurge.h"
#include "platform/ProcessInfo.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

class TrashCleaningTest : public ::testing::Test, public test::ScanFixture {
 protected:
  const std::string trash = "/Users/bob/.Trash";
  std::shared_ptr<test::FakeUserAgentLink> link = std::make_shared<test::FakeUserAgentLink>();
  std::shared_ptr<TrashBinGroup> group =
      std::static_pointer_cast<TrashBinGroup>(ItemGroup::group(ItemGroupName::trashBin));
  std::shared_ptr<CleaningScope> scope = std::make_shared<CleaningScope>();

  TrashCleaningTest() { link->setTrash(tree.host(trash)); }

  void choose(const std::string& treePath, std::uint64_t size) {
    const std::string path = tree.host(treePath);
    scope->storedPaths.insert(path);
    group->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), size, std::nullopt));
  }
  bool exists(const std::string& treePath) const { return fs::exists(fs::symlink_status(tree.host(treePath))); }
};

TEST_F(TrashCleaningTest, TheScanListsTheTrashAndAsksAgainWhileNoAgentAnswers) {
  tree.addFile(trash + "/A/B/file", 10).addFile(trash + "/loose", 20);
  auto noAgent = std::make_shared<test::FakeUserAgentLink>();
  auto operation = std::make_shared<TrashBinScanningOperation>(group, nullptr, nullptr, noAgent);
  EXPECT_TRUE(operation->scanningRoots().empty());
  EXPECT_TRUE(operation->scanningRoots().empty());
  EXPECT_EQ(noAgent->trashAsks, 2);

  run(std::make_shared<TrashBinScanningOperation>(group, nullptr, nullptr, link));
  EXPECT_EQ(files(*group), (std::map<std::string, std::uint64_t>{{tree.host(trash + "/A/B/file"), 10},
                                                                  {tree.host(trash + "/loose"), 20}}));
}

// A holds B holds the chosen file: the file goes, B is empty when the walk
// reaches it and goes, A still held B when it was looked at and stays. C
// still holds a file nobody chose and stays.
TEST_F(TrashCleaningTest, RemovesTheChosenFilesThenTheFoldersFoundEmpty) {
  tree.addFile(trash + "/A/B/file", 10).addFile(trash + "/C/keep", 5).addDirectory(trash + "/D");
  scope->roots = {tree.host(trash)};
  choose(trash + "/A/B/file", 10);
  run(std::make_shared<TrashBinCleaningOperation>(group, nullptr, nullptr, SanitizerEnvironment{queue, link, scope}));
  EXPECT_FALSE(exists(trash + "/A/B"));
  EXPECT_TRUE(exists(trash + "/A"));
  EXPECT_TRUE(exists(trash + "/C/keep"));
  EXPECT_FALSE(exists(trash + "/D"));
  EXPECT_TRUE(exists(trash));
}

TEST_F(TrashCleaningTest, WithoutAnAgentTheChosenFilesStillGo) {
  tree.addFile(trash + "/A/file", 10);
  scope->roots = {tree.host(trash)};
  choose(trash + "/A/file", 10);
  run(std::make_shared<TrashBinCleaningOperation>(
      group, nullptr, nullptr, SanitizerEnvironment{queue, std::make_shared<test::FakeUserAgentLink>(), scope}));
  EXPECT_FALSE(exists(trash + "/A/file"));
  EXPECT_TRUE(exists(trash + "/A"));
}

// --- Memory ------------------------------------------------------------------

class MemoryCleaningTest : public ::testing::Test, public test::ScanFixture {
 protected:
  std::string report = root / "/meminfo";
  std::string dropCaches = root / "/drop_caches";

  MemoryCleaningTest() {
    writeFree(1000);
    std::ofstream(dropCaches) << "";
    platform::ProcessInfo::setMemoryReportPathForTesting(report);
    VfsPurge::setDropCachesPathForTesting(dropCaches);
  }
  ~MemoryCleaningTest() override {
    platform::ProcessInfo::setMemoryReportPathForTesting(std::nullopt);
    VfsPurge::setDropCachesPathForTesting(std::nullopt);
  }
  void writeFree(std::uint64_t kilobytes) const {
    std::ofstream(report) << "MemTotal:       16000000 kB\nMemFree:        " << kilobytes
                          << " kB\nMemAvailable:   9000000 kB\n";
  }

  struct Outcome {
    std::uint64_t units = 0;
    bool cancelled = false;
    int completions = 0;
    std::vector<std::uint64_t> sizes;
  };
  // Runs the clean; after the purge (the third unit) free memory reads
  // `freeAfter` kB, and the operation is cancelled when asked.
  Outcome clean(std::uint64_t freeAfter, bool cancel = false) {
    auto group = std::static_pointer_cast<MemoryGroup>(ItemGroup::group(ItemGroupName::memory));
    Outcome outcome;
    std::shared_ptr<MemoryCleaningOperation> operation;
    operation = std::make_shared<MemoryCleaningOperation>(
        group,
        [&](const std::shared_ptr<MemoryGroup>&, bool cancelled) {
          outcome.cancelled = cancelled;
          ++outcome.completions;
        },
        [&](std::uint64_t units, std::uint64_t) {
          outcome.units += units;
          if (outcome.units == 3) {
            writeFree(freeAfter);
            if (cancel) operation->cancel();
          }
        });
    run(operation);
    group->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      const auto* memory = dynamic_cast<const MemoryItem*>(item.get());
      EXPECT_TRUE(memory);
      if (!memory) return;
      EXPECT_EQ(memory->name(), "memory");
      EXPECT_EQ(memory->identifier(), "memoryItemIdenntifier");
      EXPECT_EQ(memory->installedMemorySize(), platform::ProcessInfo::physicalMemory());
      outcome.sizes.push_back(memory->size());
    });
    return outcome;
  }
};

TEST_F(MemoryCleaningTest, RecordsWhatThePurgeFreedAndNothingBelowZero) {
  const auto rose = clean(3000);
  EXPECT_EQ(rose.units, 4u);
  EXPECT_EQ(rose.completions, 1);
  EXPECT_FALSE(rose.cancelled);
  EXPECT_EQ(rose.sizes, std::vector<std::uint64_t>{2000u * 1024});

  writeFree(5000);
  const auto fell = clean(10);
  EXPECT_EQ(fell.units, 4u);
  EXPECT_EQ(fell.sizes, std::vector<std::uint64_t>{0});
}

TEST_F(MemoryCleaningTest, ACancelAfterThePurgeAddsNoItem) {
  const auto outcome = clean(3000, true);
  EXPECT_EQ(outcome.units, 3u);
  EXPECT_EQ(outcome.completions, 1);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_TRUE(outcome.sizes.empty());
}

TEST_F(MemoryCleaningTest, AnUnreadableReportCountsAsNothingFree) {
  MemorySanitizer sanitizer;
  EXPECT_EQ(sanitizer.scan().first, 1000u * 1024);
  EXPECT_EQ(sanitizer.scan().second, (std::map<std::string, std::uint64_t>{{"free", 1000u * 1024}}));
  std::ofstream(report) << "MemTotal: 1 kB\n";
  EXPECT_EQ(sanitizer.scan().second, (std::map<std::string, std::uint64_t>{{"free", 0}}));
  EXPECT_EQ(sanitizer.purge(), 0u);
  EXPECT_EQ(sanitizer.totalBytes(), platform::ProcessInfo::physicalMemory());
}

}  // namespace
}  // namespace vozi
