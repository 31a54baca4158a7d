#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <mutex>

#include "common/Logger.h"
#include "platform/DispatchSemaphore.h"
#include "store/ZOLCoreDataManager.h"
#include "common/MailAttachmentsGroup.h"
#include "common/UserCacheGroup.h"
#include "store/ItemGroupNameCoreDataExtensions.h"
#include "store/MODuplicateItem.h"
#include "store/ManagedObjectContextRead.h"
#include "support/LogCapture.h"
#include "support/StoreDamage.h"
#include "platform/store/SQLiteStoreFiles.h"
#include "support/TempRoot.h"
#include "VOZiStoreFixture.h"

using namespace vozi;
using namespace vozi::storetest;

namespace {

// Plain SQL on the store file, beside the manager's own connection.
class StoreFile {
 public:
  explicit StoreFile(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) ADD_FAILURE() << path;
  }
  ~StoreFile() { sqlite3_close(db_); }
  std::int64_t number(const std::string& sql) const {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return -1;
    }
    std::int64_t value = -1;
    if (sqlite3_step(stmt) == SQLITE_ROW) value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
  }
  // Records in no group that are not top-level groups.
  std::int64_t orphanedItems() const {
    return number(
        "SELECT count(*) FROM ZMOModelItem t WHERE NOT EXISTS (SELECT 1 FROM \"Z_MOItemGroup.items\" j "
        "WHERE j.dst = t.Z_PK) AND t.Z_ENT NOT IN (SELECT Z_ENT FROM Z_ENTITIES WHERE Z_NAME IN (" +
        topLevelNames() + "))");
  }
  // Histories no group points at.
  std::int64_t orphanedHistories() const {
    return number(
        "SELECT count(*) FROM ZMOItemGroupHistory h WHERE NOT EXISTS (SELECT 1 FROM ZMOModelItem g WHERE "
        "g.\"MOItemGroup.scanningHistory\" = h.Z_PK OR g.\"MOItemGroup.cleaningHistory\" = h.Z_PK)");
  }
  // Membership rows naming a record that is not there.
  std::int64_t danglingMemberships() const {
    return number(
        "SELECT count(*) FROM \"Z_MOItemGroup.items\" j WHERE NOT EXISTS (SELECT 1 FROM ZMOModelItem a WHERE "
        "a.Z_PK = j.src) OR NOT EXISTS (SELECT 1 FROM ZMOModelItem b WHERE b.Z_PK = j.dst)");
  }
  std::int64_t rows() const { return number("SELECT count(*) FROM ZMOModelItem"); }
  std::int64_t rowsNamed(const std::string& entity) const {
    return number("SELECT count(*) FROM ZMOModelItem t JOIN Z_ENTITIES e ON e.Z_ENT = t.Z_ENT WHERE e.Z_NAME = '" +
                  entity + "'");
  }

 private:
  static std::string topLevelNames() {
    std::string out;
    for (ItemGroupName name : kAllItemGroupNames)
      out += (out.empty() ? "'" : ", '") + ItemGroupNameCoreDataExtensions::storedEntityName(name) + "'";
    return out;
  }
  sqlite3* db_ = nullptr;
};

class ZOLCoreDataManagerTest : public StoreManagerTest {
 protected:
  std::string storePath() const { return root / "/Library/Application Support/div.ez.iru/VOZi.sqlite"; }
  template <class F>
  auto on(F&& f) {
    return store().moc()->performAndWaitResult(std::forward<F>(f));
  }
  // The stored top-level group of a name, read on the queue.
  template <class F>
  auto withStoredGroup(ItemGroupName name, F&& f) {
    return on([&] {
      auto objects = ManagedObjectContextRead::read(*store().moc(), ItemGroupNameCoreDataExtensions::storedEntityName(name),
                                                    std::nullopt, true, 0,
                                                    platform::Predicate::equal("name", platform::Value(std::string(rawValue(name)))));
      EXPECT_EQ(objects.size(), 1u) << rawValue(name);
      auto group = objects.empty() ? nullptr : std::dynamic_pointer_cast<MOItemGroup>(objects.front());
      return f(group);
    });
  }
};

// ---- saving a scan and loading it back --------------------------------------

class ScanRoundTrip : public ZOLCoreDataManagerTest, public ::testing::WithParamInterface<ItemGroupName> {};

TEST_P(ScanRoundTrip, LoadsBackWhatWasScannedWithItsScanningHistory) {
  const ItemGroupName name = GetParam();
  ItemGroupPtr scanned = scannedGroup(name);
  scan(store(), scanned);

  ItemGroupPtr loaded = load(store(), name);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->className(), scanned->className());
  EXPECT_EQ(canonical(*loaded), canonical(*scanned));
  ASSERT_TRUE(loaded->scanningHistory());
  EXPECT_EQ(loaded->scanningHistory()->size(), scanned->size());
  EXPECT_EQ(loaded->scanningHistory()->total(), scanned->size());
  EXPECT_EQ(loaded->scanningHistory()->lastDate(), scanned->scanningHistory()->lastDate());
  EXPECT_FALSE(loaded->cleaningHistory());

  // A second scan of another result replaces the first and adds to the total.
  ItemGroupPtr rescanned = scannedGroup(name, 1);
  scan(store(), rescanned);
  // After a restart too.
  loaded = load(reopen(), name);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(canonical(*loaded), canonical(*rescanned));
  EXPECT_EQ(loaded->scanningHistory()->size(), rescanned->size());
  EXPECT_EQ(loaded->scanningHistory()->total(), scanned->size() + rescanned->size());

  StoreFile file(storePath());
  EXPECT_EQ(file.orphanedItems(), 0);
  EXPECT_EQ(file.orphanedHistories(), 0);
  EXPECT_EQ(file.danglingMemberships(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ScanRoundTrip, ::testing::ValuesIn(kAllItemGroupNames),
                         [](const auto& info) { return std::string(rawValue(info.param)); });

TEST_F(ZOLCoreDataManagerTest, ADamagedStoreFileIsMovedAsideWithALogLineAndTheManagerStartsOnAnEmptyOne) {
  scan(store(), scannedGroup(ItemGroupName::userCache));
  manager.reset();
  ASSERT_TRUE(test::damageTablePage(storePath(), "ZMOModelItem"));

  ItemGroupPtr loaded = load(store(), ItemGroupName::userCache);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->count(), 0u);
  const auto lines = log.linesContaining("is damaged");
  ASSERT_EQ(lines.size(), 1u);
  const auto aside = platform::SQLiteStoreFiles::corruptSets(storePath());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_NE(lines[0].find(storePath()), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(aside[0]), std::string::npos) << lines[0];
  EXPECT_NE(test::plainSQL(aside[0], "PRAGMA integrity_check"), "ok");
  // The new file takes the next scan as a first one.
  ItemGroupPtr scanned = scannedGroup(ItemGroupName::userCache);
  scan(store(), scanned);
  EXPECT_EQ(canonical(*load(reopen(), ItemGroupName::userCache)), canonical(*scanned));
}

TEST_F(ZOLCoreDataManagerTest, RescanWithFewerFilesKeepsExactlyTheNewOnes) {
  auto group = ItemGroup::group(ItemGroupName::userCache);
  for (int i = 0; i < 10; ++i) group->addItem(file("/Users/u/Library/Caches/f" + std::to_string(i), 100));
  group->updateScanningHistory();
  scan(store(), group);

  auto second = ItemGroup::group(ItemGroupName::userCache);
  for (int i = 6; i < 10; ++i) second->addItem(file("/Users/u/Library/Caches/f" + std::to_string(i), 50));
  second->updateScanningHistory();
  scan(store(), second);

  withStoredGroup(ItemGroupName::userCache, [&](const MOItemGroupPtr& stored) {
    EXPECT_EQ(stored->itemsCount(), 4u);
    EXPECT_EQ(stored->size(), 200);
    EXPECT_EQ(stored->scanningHistory()->lastSize(), 200);
    EXPECT_EQ(stored->scanningHistory()->totalSize(), 1200);
    return 0;
  });
  StoreFile file(storePath());
  EXPECT_EQ(file.rowsNamed("MOFileItem"), 4);
  EXPECT_EQ(file.orphanedItems(), 0);
  // The records of the files found again were kept, so nothing was missing.
  EXPECT_EQ(log.count("Error on getting object from context"), 0u);
}

// A rescan that drops files takes their entries out of the identifier index;
// the records it makes for new files must still be found by the next rescan,
// and the rescan after a plain first scan too.
TEST_F(ZOLCoreDataManagerTest, RecordsMadeByARescanAreFoundByTheNextOne) {
  auto scanFiles = [&](int from, int to) {
    auto group = ItemGroup::group(ItemGroupName::userCache);
    for (int i = from; i < to; ++i) group->addItem(file("/Users/u/Library/Caches/f" + std::to_string(i), 100));
    group->updateScanningHistory();
    scan(store(), group);
  };
  auto highestKey = [&] { return StoreFile(storePath()).number("SELECT max(Z_PK) FROM ZMOModelItem"); };
  scanFiles(0, 10);
  std::int64_t highest = highestKey();
  scanFiles(0, 10);
  EXPECT_EQ(highestKey(), highest);  // nothing made again
  scanFiles(6, 14);
  highest = highestKey();
  scanFiles(6, 14);
  EXPECT_EQ(highestKey(), highest);
  EXPECT_EQ(StoreFile(storePath()).rowsNamed("MOFileItem"), 8);
  EXPECT_EQ(log.count("Error on getting object from context"), 0u);
}

TEST_F(ZOLCoreDataManagerTest, GroupWithoutScanningHistoryKeepsTheStoredOne) {
  scan(store(), scannedGroup(ItemGroupName::trashBin));
  auto plain = ItemGroup::group(ItemGroupName::trashBin);
  plain->addItem(file("/t/x", 5));
  scan(store(), plain);
  withStoredGroup(ItemGroupName::trashBin, [&](const MOItemGroupPtr& stored) {
    EXPECT_EQ(stored->scanningHistory()->lastSize(), 586);
    EXPECT_EQ(stored->itemsCount(), 1u);
    return 0;
  });
}

TEST_F(ZOLCoreDataManagerTest, MailAttachmentsComeBackAsPlainFilesAndBigFilesKeepTheirKinds) {
  auto mail = ItemGroup::group(ItemGroupName::mailAttachments);
  mail->addItem(typedFile("/Users/u/Library/Mail Downloads/a.pdf", 10, 16));
  scan(store(), mail);
  auto loaded = load(store(), ItemGroupName::mailAttachments);
  ASSERT_TRUE(loaded && loaded->anyItem());
  EXPECT_EQ(loaded->anyItem()->className(), "FileItem");

  scan(store(), scannedGroup(ItemGroupName::bigFiles));
  loaded = load(store(), ItemGroupName::bigFiles);
  ASSERT_TRUE(loaded && loaded->anyItem());
  EXPECT_EQ(loaded->anyItem()->className(), "BigFileItem");
}

TEST_F(ZOLCoreDataManagerTest, ScanLogLinesNameAGroupWithoutNameNoName) {
  auto unnamed = std::make_shared<UserCacheGroup>(std::nullopt, 0, nullptr, std::nullopt, nullptr, nullptr);
  scan(store(), unnamed);
  EXPECT_EQ(log.count("SAVE_AFTER_SCAN: Saving scan results for itemGroup: No Name started"), 1u);
  EXPECT_EQ(log.count("SAVE_AFTER_SCAN: Saving scan results for itemGroup: No Name finished"), 1u);
}

// ---- groups that found the same files -----------------------------------------

TEST_F(ZOLCoreDataManagerTest, RescanOfOneGroupLeavesAnotherGroupsItemsIntact) {
  // The same file found by two kinds of scan.
  const std::string shared = "/Users/u/Library/Caches/big.cache";
  auto cache = ItemGroup::group(ItemGroupName::userCache);
  cache->addItem(file(shared, 5000));
  cache->addItem(file("/Users/u/Library/Caches/small", 5));
  cache->updateScanningHistory();
  scan(store(), cache);
  auto big = ItemGroup::group(ItemGroupName::bigFiles);
  big->addItem(bigFile(shared, 5000, 4));
  big->updateScanningHistory();
  scan(store(), big);
  const std::string bigBefore = canonical(*load(store(), ItemGroupName::bigFiles));

  // The cache is rescanned without that file, then cleaned of the other one.
  auto rescan = ItemGroup::group(ItemGroupName::userCache);
  rescan->addItem(file("/Users/u/Library/Caches/small", 5));
  rescan->updateScanningHistory();
  scan(store(), rescan);
  clean(store(), cleanedGroup(ItemGroupName::userCache, {file("/Users/u/Library/Caches/small", 5)}));

  EXPECT_EQ(canonical(*load(store(), ItemGroupName::bigFiles)), bigBefore);
  EXPECT_EQ(canonical(*load(reopen(), ItemGroupName::bigFiles)), bigBefore);
  EXPECT_EQ(load(store(), ItemGroupName::userCache)->count(), 0u);

  // And the other way round: a clean of the big file leaves the cache's record.
  scan(store(), cache);
  clean(store(), cleanedGroup(ItemGroupName::bigFiles, {bigFile(shared, 5000, 4)}));
  EXPECT_EQ(load(store(), ItemGroupName::bigFiles)->count(), 0u);
  EXPECT_EQ(canonical(*load(store(), ItemGroupName::userCache)), canonical(*cache));
  StoreFile file(storePath());
  EXPECT_EQ(file.orphanedItems(), 0);
}

TEST_F(ZOLCoreDataManagerTest, LanguagesOfTheSameNameInTwoGroupsStaySeparate) {
  auto system = ItemGroup::group(ItemGroupName::systemLanguages);
  system->addItem(language("fr", {file("/System/Library/fr.lproj", 10)}));
  scan(store(), system);
  auto apps = ItemGroup::group(ItemGroupName::applicationsLanguages);
  apps->addItem(language("fr", {file("/Applications/A.app/Contents/Resources/fr.lproj", 20)}));
  scan(store(), apps);

  EXPECT_EQ(canonical(*load(store(), ItemGroupName::systemLanguages)), canonical(*system));
  EXPECT_EQ(canonical(*load(store(), ItemGroupName::applicationsLanguages)), canonical(*apps));

  auto cleaned = ItemGroup::group(ItemGroupName::applicationsLanguages);
  cleaned->addItem(language("fr", {file("/Applications/A.app/Contents/Resources/fr.lproj", 20)}));
  clean(store(), cleaned);
  EXPECT_EQ(load(store(), ItemGroupName::applicationsLanguages)->count(), 0u);
  EXPECT_EQ(canonical(*load(store(), ItemGroupName::systemLanguages)), canonical(*system));
}

// ---- cleaning -------------------------------------------------------------------

struct CleanCase {
  std::uint64_t cleanedSize;
  std::int64_t storedSizeAfter;
};

class PartialClean : public ZOLCoreDataManagerTest, public ::testing::WithParamInterface<CleanCase> {};

TEST_P(PartialClean, DetachesExactlyTheCleanedItemsAndLowersTheSize) {
  std::vector<ModelItemPtr> files;
  auto group = ItemGroup::group(ItemGroupName::systemLogs);
  for (int i = 0; i < 10; ++i) {
    files.push_back(file("/Library/Logs/l" + std::to_string(i), 100));
    group->addItem(files.back());
  }
  group->updateScanningHistory();
  scan(store(), group);

  // The cleaned group's size is what the clean reports, whatever its items.
  auto cleaned = ItemGroup::group(ItemGroupName::systemLogs);
  for (int i : {1, 4, 7}) cleaned->addItem(files[static_cast<std::size_t>(i)]);
  cleaned->setSize(GetParam().cleanedSize);
  cleaned->updateCleaningHistory();
  clean(store(), cleaned);

  withStoredGroup(ItemGroupName::systemLogs, [&](const MOItemGroupPtr& stored) {
    EXPECT_EQ(stored->itemsCount(), 7u);
    EXPECT_EQ(stored->size(), GetParam().storedSizeAfter);
    std::vector<std::string> paths;
    for (const auto& item : stored->items()) paths.push_back(*item->identifier());
    for (int i : {1, 4, 7})
      EXPECT_EQ(std::count(paths.begin(), paths.end(), host("/Library/Logs/l" + std::to_string(i))), 0);
    auto history = stored->cleaningHistory();
    EXPECT_TRUE(history);
    if (history) {
      EXPECT_EQ(history->lastSize(), static_cast<std::int64_t>(GetParam().cleanedSize));
      EXPECT_EQ(history->totalSize(), static_cast<std::int64_t>(GetParam().cleanedSize));
    }
    return 0;
  });
  // A second clean adds to the total.
  auto again = cleanedGroup(ItemGroupName::systemLogs, {files[0]});
  clean(store(), again);
  withStoredGroup(ItemGroupName::systemLogs, [&](const MOItemGroupPtr& stored) {
    EXPECT_EQ(stored->itemsCount(), 6u);
    EXPECT_EQ(stored->cleaningHistory()->totalSize(), static_cast<std::int64_t>(GetParam().cleanedSize + 100));
    return 0;
  });
  StoreFile file(storePath());
  EXPECT_EQ(file.rowsNamed("MOFileItem"), 6);
  EXPECT_EQ(file.orphanedItems(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PartialClean,
                         ::testing::Values(CleanCase{300, 700}, CleanCase{1000, 0}, CleanCase{1200, 0}));

TEST_F(ZOLCoreDataManagerTest, DuplicateSetLeftWithOneFileGoesWithThatFile) {
  auto a1 = typedFile("/d/a1", 10, 16), a2 = typedFile("/d/a2", 10, 16);
  auto b1 = typedFile("/d/b1", 30, 1), b2 = typedFile("/d/b2", 30, 1), b3 = typedFile("/d/b3", 30, 1);
  auto group = ItemGroup::group(ItemGroupName::duplicates);
  group->addItem(duplicateSet(1, {a1, a2}));
  group->addItem(duplicateSet(2, {b1, b2, b3}));
  group->updateScanningHistory();
  scan(store(), group);
  ASSERT_EQ(group->size(), 110u);

  auto cleaned = ItemGroup::group(ItemGroupName::duplicates);
  cleaned->addItem(duplicateSet(1, {a2}));
  cleaned->addItem(duplicateSet(2, {b3}));
  cleaned->updateCleaningHistory();
  clean(store(), cleaned);

  auto loaded = load(store(), ItemGroupName::duplicates);
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->count(), 1u);  // the set of two files went
  auto remaining = std::dynamic_pointer_cast<DuplicateItem>(loaded->anyItem());
  ASSERT_TRUE(remaining);
  EXPECT_EQ(remaining->count(), 2u);
  EXPECT_EQ(remaining->size(), 60u);
  // 110 - 40 cleaned - the 10 bytes of the lone file that is no duplicate any more.
  EXPECT_EQ(loaded->size(), 60u);
  EXPECT_EQ(loaded->cleaningHistory()->size(), 40u);
  StoreFile file(storePath());
  EXPECT_EQ(file.rowsNamed("MODuplicateItem"), 1);
  EXPECT_EQ(file.rowsNamed("MOTypedFileItem"), 2);
  EXPECT_EQ(file.orphanedItems(), 0);
  EXPECT_EQ(file.orphanedHistories(), 0);
}

TEST_F(ZOLCoreDataManagerTest, NestedGroupCleanedEmptyGoesTopLevelGroupStays) {
  auto left = file("/Users/u/Library/Caches/com.x", 40);
  auto apps = ItemGroup::group(ItemGroupName::applications);
  apps->addItem(application("/Applications/X.app", {left}));
  apps->updateScanningHistory();
  scan(store(), apps);

  auto cleaned = ItemGroup::group(ItemGroupName::applications);
  cleaned->addItem(application("/Applications/X.app", {left}));
  cleaned->updateCleaningHistory();
  clean(store(), cleaned);

  auto loaded = load(store(), ItemGroupName::applications);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->count(), 0u);
  EXPECT_EQ(loaded->size(), 0u);
  ASSERT_TRUE(loaded->cleaningHistory());
  EXPECT_EQ(loaded->cleaningHistory()->size(), 40u);
  StoreFile file(storePath());
  EXPECT_EQ(file.rowsNamed("MOApplicationItem"), 0);
  EXPECT_EQ(file.rowsNamed("MOFileItem"), 0);
  EXPECT_EQ(file.orphanedItems(), 0);
}

TEST_F(ZOLCoreDataManagerTest, MemoryCleanReplacesTheReadingsAndKeepsTheSize) {
  scan(store(), scannedGroup(ItemGroupName::memory));
  auto cleaned = ItemGroup::group(ItemGroupName::memory);
  cleaned->addItem(std::make_shared<MemoryItem>(777, 8000, "after", "freed"));
  cleaned->updateCleaningHistory();
  clean(store(), cleaned);

  auto loaded = load(store(), ItemGroupName::memory);
  ASSERT_TRUE(loaded && loaded->count() == 1u);
  EXPECT_EQ(loaded->anyItem()->identifier(), "after");
  EXPECT_EQ(loaded->anyItem()->size(), 777u);
  EXPECT_EQ(loaded->size(), 1000u);
  EXPECT_EQ(loaded->cleaningHistory()->size(), 777u);
  EXPECT_EQ(StoreFile(storePath()).rowsNamed("MOMemoryItem"), 1);
}

TEST_F(ZOLCoreDataManagerTest, CleanOfANeverScannedGroupCreatesIt) {
  auto cleaned = cleanedGroup(ItemGroupName::shredder, {file("/x/never", 9)});
  clean(store(), cleaned);
  withStoredGroup(ItemGroupName::shredder, [&](const MOItemGroupPtr& stored) {
    EXPECT_EQ(stored->name(), "shredder");
    EXPECT_EQ(stored->identifier(), "shredder");
    EXPECT_EQ(stored->size(), 0);
    EXPECT_EQ(stored->itemsCount(), 0u);
    EXPECT_EQ(stored->cleaningHistory()->lastSize(), 9);
    return 0;
  });
  // A cleaned nested group that was never stored leaves nothing behind.
  auto apps = ItemGroup::group(ItemGroupName::applications);
  apps->addItem(application("/Applications/Never.app", {file("/x/left", 3)}));
  clean(store(), apps);
  StoreFile file(storePath());
  EXPECT_EQ(file.rowsNamed("MOApplicationItem"), 0);
  EXPECT_EQ(file.orphanedItems(), 0);
}

// ---- loading or creating top-level groups -------------------------------------------

TEST_F(ZOLCoreDataManagerTest, LoadOrCreateReturnsStoredGroupsFirstThenNewOnes) {
  scan(store(), scannedGroup(ItemGroupName::userCache));
  auto groups = loadOrCreate(store(), {ItemGroupName::memory, ItemGroupName::userCache, ItemGroupName::trashBin});
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0]->name(), "userCache");
  EXPECT_EQ(groups[0]->count(), 3u);
  EXPECT_EQ(groups[1]->name(), "memory");
  EXPECT_EQ(groups[1]->className(), "MemoryGroup");
  EXPECT_EQ(groups[2]->name(), "trashBin");
  EXPECT_EQ(groups[2]->className(), "TrashBinGroup");
  EXPECT_EQ(groups[2]->size(), 0u);

  // All three are stored now and come back in the order of the names.
  groups = loadOrCreate(reopen(), {ItemGroupName::memory, ItemGroupName::userCache, ItemGroupName::trashBin});
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0]->name(), "memory");
  EXPECT_EQ(groups[1]->name(), "userCache");
  EXPECT_EQ(groups[2]->name(), "trashBin");
}

TEST_F(ZOLCoreDataManagerTest, NameGivenTwiceMakesOneStoredGroup) {
  auto groups = loadOrCreate(store(), {ItemGroupName::trashBin, ItemGroupName::trashBin});
  ASSERT_EQ(groups.size(), 1u);
  groups = loadOrCreate(store(), {ItemGroupName::trashBin, ItemGroupName::trashBin, ItemGroupName::memory});
  ASSERT_EQ(groups.size(), 2u);
  StoreFile file(storePath());
  EXPECT_EQ(file.rowsNamed("MOTrashBinGroup"), 1);
}

TEST_F(ZOLCoreDataManagerTest, LoadOrCreateOfEveryKindCreatesEachOnce) {
  std::vector<ItemGroupName> all(kAllItemGroupNames.begin(), kAllItemGroupNames.end());
  auto groups = loadOrCreate(store(), all);
  ASSERT_EQ(groups.size(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(groups[i]->name(), rawValue(all[i]));
    EXPECT_EQ(groups[i]->className(), ItemGroup::group(all[i])->className());
  }
  EXPECT_EQ(loadOrCreate(reopen(), all).size(), all.size());
  EXPECT_EQ(StoreFile(storePath()).rows(), 14);
}

// ---- many cycles ----------------------------------------------------------------

TEST_F(ZOLCoreDataManagerTest, TwentyScanAndCleanCyclesLeaveNoOrphansAndNoGrowth) {
  std::int64_t rowsAfterFirst = -1;
  for (int cycle = 0; cycle < 20; ++cycle) {
    for (ItemGroupName name : kAllItemGroupNames) {
      // Alternate between two results so that records come and go.
      ItemGroupPtr scanned = scannedGroup(name, cycle % 2);
      scan(store(), scanned);
      // Clean the first item (a nested group's first file where there are nested groups).
      ItemGroupPtr cleaned = ItemGroup::group(name);
      ModelItemPtr first = scanned->anyItem();
      if (auto set = std::dynamic_pointer_cast<DuplicateItem>(first)) {
        cleaned->addItem(duplicateSet(1, {set->anyItem()}));
      } else if (auto app = std::dynamic_pointer_cast<ApplicationItem>(first)) {
        auto copy = std::make_shared<ApplicationItem>(*app->url(), 0, nullptr, std::nullopt, nullptr, nullptr, std::nullopt);
        copy->addItem(app->anyItem());
        cleaned->addItem(copy);
      } else if (auto lang = std::dynamic_pointer_cast<LanguageItem>(first)) {
        cleaned->addItem(language(*lang->name(), {lang->anyItem()}));
      } else {
        cleaned->addItem(first);
      }
      cleaned->updateCleaningHistory();
      clean(store(), cleaned);
    }
    if (cycle == 1) rowsAfterFirst = StoreFile(storePath()).rows();
    if (cycle % 5 == 4) reopen();
  }
  StoreFile file(storePath());
  EXPECT_EQ(file.orphanedItems(), 0);
  EXPECT_EQ(file.orphanedHistories(), 0);
  EXPECT_EQ(file.danglingMemberships(), 0);
  EXPECT_EQ(file.rows(), rowsAfterFirst);
  // 14 top-level groups with a scanning and a cleaning history each.
  EXPECT_EQ(file.number("SELECT count(*) FROM ZMOItemGroupHistory"), 28);
}

}  // namespace

namespace {

// A cleaned tree as a client may send it: nested far too deep, or holding itself.
TEST_F(ZOLCoreDataManagerTest, TreesTooDeepOrHoldingThemselvesAreNotFollowed) {
  auto deep = ItemGroup::group(ItemGroupName::userCache);
  ItemGroupPtr level = deep;
  for (int i = 0; i < 200; ++i) {
    auto child = std::make_shared<ItemGroup>("level" + std::to_string(i), 0, nullptr, std::nullopt, nullptr, nullptr);
    level->addItem(child);
    level = child;
  }
  level->addItem(file("/deep/file", 1));
  clean(store(), deep);
  scan(store(), deep);

  auto looped = ItemGroup::group(ItemGroupName::trashBin);
  auto inner = std::make_shared<ItemGroup>("inner", 0, nullptr, std::nullopt, nullptr, nullptr);
  looped->addItem(inner);
  inner->addItem(looped);
  inner->addItem(file("/t/a", 1));
  scan(store(), looped);
  clean(store(), looped);
  inner->removeAll();  // let the loop go

  EXPECT_TRUE(load(store(), ItemGroupName::userCache));
  EXPECT_TRUE(load(store(), ItemGroupName::trashBin));
  // A rescan of a sound tree takes the place of whatever those left.
  scan(store(), scannedGroup(ItemGroupName::trashBin));
  scan(store(), scannedGroup(ItemGroupName::userCache));
  StoreFile file(storePath());
  EXPECT_EQ(file.danglingMemberships(), 0);
  EXPECT_EQ(file.orphanedItems(), 0);
  EXPECT_EQ(file.rows(), 2 + 3 + 3);
}

}  // namespace

TEST(ZOLCoreDataManagerDeathTest, DestroyingTheManagerFromItsOwnCompletionStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        test::TempRoot root;
        auto* manager = new ZOLCoreDataManager();
        platform::DispatchSemaphore never(0);
        manager->loadOrCreateItemGroups({ItemGroupName::userCache},
                                        [manager](std::vector<ItemGroupPtr>) { delete manager; });
        never.wait(std::chrono::seconds(30));
      },
      "destroyed from a block of its own queue");
}
