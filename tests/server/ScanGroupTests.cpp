// The older scan-group model, run as a unit over a temporary tree and a
// real store file.

#include <gtest/gtest.h>

#include <filesystem>

#include "server/ScanGroup.h"
#include "store/MOFile.h"
#include "store/MOScanGroup.h"
#include "store/MOScanSection.h"
#include "store/MOScanSubGroup.h"
#include "store/ZOLData.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/ScopedProcessUser.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;
using Name = ScanSubGroup::Name;

class ScanGroupTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  test::MacTree tree{root};
  test::ScopedProcessUser asBob{"bob"};
  platform::DispatchWorkItem work;

  ScanGroupTest() {
    tree.addUser("bob")
        .addFile("/Users/bob/Library/Caches/com.example/a", 100)
        .addFile("/Users/bob/Library/Logs/app.log", 30)
        .addFile("/Library/Caches/com.example.system/b", 7);
  }
  static std::vector<Name> names(const ScanGroup& group) {
    std::vector<Name> out;
    for (const auto& subgroup : group.subgroups) out.push_back(subgroup->name);
    return out;
  }
};

TEST_F(ScanGroupTest, AGroupScansItsSubgroupsAndTheSameSizeTwice) {
  ScanGroup system(ScanGroupName::system, "bob", "");
  system.scan(work);
  EXPECT_EQ(names(system), (std::vector<Name>{Name::userLog, Name::userCache, Name::systemCache, Name::systemLog,
                                              Name::i18nApps, Name::i18nSystem}));
  const std::uint64_t first = system.size;
  EXPECT_GE(first, 137u);
  system.scan(work);
  EXPECT_EQ(system.size, first);
  EXPECT_TRUE(system.lastScannedDate);

  ScanGroup threats(ScanGroupName::threats, "bob", "");
  threats.scan(work);
  EXPECT_EQ(threats.size, 0u);
  EXPECT_TRUE(threats.subgroups.empty());
  EXPECT_TRUE(threats.lastScannedDate);

  platform::DispatchWorkItem cancelled;
  cancelled.cancel();
  ScanGroup skipped(ScanGroupName::system, "bob", "");
  skipped.scan(cancelled);
  EXPECT_EQ(skipped.size, 0u);
  EXPECT_EQ(skipped.subgroups.size(), 6u);
  EXPECT_TRUE(skipped.lastScannedDate);

  EXPECT_EQ(system.subgroups[1]->debugDescription(), "VOZi.ScanSubGroup userCache");
  // A user-bound subgroup without a user has no sanitizer.
  ScanSubGroup nobody(Name::userCache, "", "");
  EXPECT_FALSE(nobody.sanitizer);
  EXPECT_EQ(nobody.purge(work), 0u);
}

TEST_F(ScanGroupTest, PurgesEmptyTheSelectionsAndNeverGoBelowZero) {
  ScanGroup system(ScanGroupName::system, "bob", "");
  system.scan(work);
  ScanSubGroup& caches = *system.subgroups[1];
  const std::string folder = tree.host("/Users/bob/Library/Caches");
  ASSERT_TRUE(caches.found.contains(folder));
  caches.toPurge = {{folder, 1}};
  caches.size = 10;  // less than what goes
  EXPECT_EQ(system.purge(work), 100u);
  EXPECT_EQ(caches.size, 0u);
  EXPECT_EQ(caches.found.at(folder), 0u);
  EXPECT_FALSE(fs::exists(tree.host("/Users/bob/Library/Caches/com.example")));
  EXPECT_TRUE(fs::exists(tree.host("/Library/Caches/com.example.system/b")));
  EXPECT_EQ(system.lastCleanedSize, 100u);
  EXPECT_EQ(system.totalCleanedSize, 100u);

  ScanGroup memory(ScanGroupName::memory, "", "");
  memory.purge(work);
  EXPECT_EQ(names(memory), std::vector<Name>{Name::memory});

  // Two duplicates subgroups purge once, through the first.
  ScanGroup duplicates(ScanGroupName::duplicates, "bob", tree.host("/Users/bob"));
  duplicates.subgroups.push_back(std::make_unique<ScanSubGroup>(Name::duplicates, "bob", tree.host("/Users/bob")));
  duplicates.subgroups.push_back(std::make_unique<ScanSubGroup>(Name::duplicates, "bob", tree.host("/Users/bob")));
  duplicates.subgroups[0]->toPurge = {{"a", 1}};
  duplicates.subgroups[1]->toPurge = {{"a", 2}, {"b", 3}};
  duplicates.purge(work);
  ASSERT_EQ(duplicates.subgroups.size(), 1u);
  EXPECT_EQ(duplicates.subgroups[0]->toPurge, (Sanitizer::Sizes{{"a", 1}, {"b", 3}}));
}

TEST_F(ScanGroupTest, AStoredGroupIsMergedFromARealStoreFile) {
  ScanGroup system(ScanGroupName::system, "bob", "");
  system.scan(work);
  system.mergeStored(nullptr);
  EXPECT_EQ(system.subgroups.size(), 6u);

  ZOLData data;
  data.moc()->performAndWait([&] {
    auto group = std::dynamic_pointer_cast<MOScanGroup>(data.moc()->insertNewObject("MOScanGroup"));
    group->setName("System");
    group->setSize(777);
    group->setLastCleanedSize(11);
    group->setTotalCleanedSize(22);
    const auto subgroup = [&](const std::string& name, std::int64_t size) {
      auto record = std::dynamic_pointer_cast<MOScanSubGroup>(data.moc()->insertNewObject("MOScanSubGroup"));
      record->setName(name);
      record->setSize(size);
      record->setUserName(std::string("bob"));
      group->addScanSubGroupsObject(record);
      return record;
    };
    auto caches = subgroup("User cache files", 55);
    auto section = std::dynamic_pointer_cast<MOScanSection>(data.moc()->insertNewObject("MOScanSection"));
    section->setName(std::string("/stored/caches"));
    section->setSize(55);
    caches->addSectionsObject(section);
    subgroup("Development junk", 5);
    subgroup("No such subgroup", 9);
    data.save();

    const auto stored = std::dynamic_pointer_cast<MOScanGroup>(group);
    test::LogCapture log;
    system.mergeStored(stored.get());
  });
  EXPECT_EQ(system.size, 777u);
  EXPECT_EQ(system.lastCleanedSize, 11u);
  EXPECT_EQ(system.totalCleanedSize, 22u);
  EXPECT_EQ(system.subgroups[1]->size, 55u);
  EXPECT_EQ(system.subgroups[1]->found, (Sanitizer::Sizes{{"/stored/caches", 55}}));
  ASSERT_EQ(system.subgroups.size(), 8u);
  std::vector<Name> appended{system.subgroups[6]->name, system.subgroups[7]->name};
  std::sort(appended.begin(), appended.end());
  EXPECT_EQ(appended, (std::vector<Name>{Name::develJunk, Name::temporaryFiles}));
  for (std::size_t i = 6; i < 8; ++i) {
    if (system.subgroups[i]->name == Name::develJunk) {
      EXPECT_FALSE(system.subgroups[i]->sanitizer);
      EXPECT_EQ(system.subgroups[i]->size, 5u);
    } else {
      EXPECT_EQ(system.subgroups[i]->size, 0u);
    }
  }
}

}  // namespace
}  // namespace vozi
