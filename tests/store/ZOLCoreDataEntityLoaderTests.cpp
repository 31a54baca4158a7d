#include <gtest/gtest.h>

#include <mutex>

#include "common/Logger.h"
#include "store/MOUserCacheGroup.h"
#include "store/ManagedObjectContextRead.h"
#include "support/LogCapture.h"
#include "support/TempRoot.h"
#include "VOZiStoreFixture.h"

using namespace vozi;
using namespace vozi::storetest;

namespace {

class EntityLoaderTest : public StoreManagerTest {
 protected:
  template <class F>
  auto withLoader(F&& f) {
    return store().moc()->performAndWaitResult([&] { return f(*store().entityLoader()); });
  }
};

TEST_F(EntityLoaderTest, LoadingIndexesEveryDescendantButNoTopLevelGroup) {
  auto cache = ItemGroup::group(ItemGroupName::userCache);
  for (int i = 0; i < 3; ++i) cache->addItem(file("/c/" + std::to_string(i), 1));
  scan(store(), cache);
  auto dups = ItemGroup::group(ItemGroupName::duplicates);
  dups->addItem(duplicateSet(1, {typedFile("/d/a1", 1, 1), typedFile("/d/a2", 1, 1)}));
  dups->addItem(duplicateSet(2, {typedFile("/d/b1", 1, 1), typedFile("/d/b2", 1, 1)}));
  scan(store(), dups);

  reopen();
  EXPECT_EQ(withLoader([](ZOLCoreDataEntityLoader& l) { return l.indexedItemCount(); }), 0u);
  auto groups = withLoader([](ZOLCoreDataEntityLoader& l) {
    return l.loadItemGroups({ItemGroupName::userCache, ItemGroupName::duplicates});
  });
  EXPECT_EQ(groups.size(), 2u);
  withLoader([](ZOLCoreDataEntityLoader& l) {
    EXPECT_EQ(l.indexedItemCount(), 9u);
    EXPECT_EQ(l.indexedItemCount("userCache"), 3u);
    EXPECT_EQ(l.indexedItemCount("duplicates"), 6u);
    return 0;
  });
}

TEST_F(EntityLoaderTest, PreloadOnAnEmptyStoreFindsNothingAndIndexesGroupsAsTheyAreSaved) {
  withLoader([](ZOLCoreDataEntityLoader& l) {
    l.preloadIndexesIfNeeded();
    EXPECT_EQ(l.indexedItemCount(), 0u);
    return 0;
  });
  scan(store(), scannedGroup(ItemGroupName::trashBin));
  EXPECT_EQ(withLoader([](ZOLCoreDataEntityLoader& l) { return l.indexedItemCount("trashBin"); }), 3u);
}

TEST_F(EntityLoaderTest, LoadItemGroupsSkipsWhatIsNotStoredAndRepeatsARepeatedName) {
  scan(store(), scannedGroup(ItemGroupName::memory));
  auto groups = withLoader([](ZOLCoreDataEntityLoader& l) {
    return l.loadItemGroups({ItemGroupName::trashBin, ItemGroupName::memory});
  });
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0]->name(), "memory");
  groups = withLoader([](ZOLCoreDataEntityLoader& l) {
    return l.loadItemGroups({ItemGroupName::memory, ItemGroupName::memory});
  });
  EXPECT_EQ(groups.size(), 2u);
}

TEST_F(EntityLoaderTest, FindsATopLevelGroupInsertedButNotSaved) {
  withLoader([&](ZOLCoreDataEntityLoader& l) {
    auto inserted = store().moc()->insertNewObject<MOItemGroup>("MOUserCacheGroup");
    inserted->setName("userCache");
    inserted->setIdentifier("userCache");
    auto found = l.loadStoredItemGroup(*ItemGroup::group(ItemGroupName::userCache));
    EXPECT_EQ(found, inserted);
    // Not the group of another kind.
    EXPECT_FALSE(l.loadStoredItemGroup(*ItemGroup::group(ItemGroupName::userLogs)));
    return 0;
  });
}

TEST_F(EntityLoaderTest, AnEntryWhoseRecordIsGoneIsLoggedOnceAndDropped) {
  scan(store(), scannedGroup(ItemGroupName::userLogs));
  auto item = file("/userLogs/two", 1);
  withLoader([&](ZOLCoreDataEntityLoader& l) {
    auto record = l.loadStoredItem(*item, "userLogs");
    EXPECT_TRUE(record);
    // Deleted behind the index's back.
    store().moc()->deleteObject(record);
    store().save();
    EXPECT_FALSE(l.loadStoredItem(*item, "userLogs"));
    EXPECT_FALSE(l.loadStoredItem(*item, "userLogs"));
    // Scopes are separate: the same identifier in another tree finds nothing.
    EXPECT_FALSE(l.loadStoredItem(*file("/userLogs/one%200.log", 1), "userCache"));
    return 0;
  });
  EXPECT_EQ(log.count("Error on getting object from context: "), 1u);
}

TEST_F(EntityLoaderTest, IdenticalRescanRewritesNothing) {
  scan(store(), scannedGroup(ItemGroupName::duplicates));
  const auto before = withLoader([](ZOLCoreDataEntityLoader& l) { return l.indexedItemCount(); });
  std::vector<std::int64_t> keys;
  store().moc()->performAndWait([&] {
    for (auto& group : ManagedObjectContextRead::read(*store().moc(), "MOModelItem"))
      keys.push_back(group->objectID().primaryKey());
  });
  scan(reopen(), scannedGroup(ItemGroupName::duplicates));
  std::vector<std::int64_t> after;
  store().moc()->performAndWait([&] {
    for (auto& group : ManagedObjectContextRead::read(*store().moc(), "MOModelItem"))
      after.push_back(group->objectID().primaryKey());
  });
  EXPECT_EQ(after, keys);
  EXPECT_EQ(withLoader([](ZOLCoreDataEntityLoader& l) { return l.indexedItemCount(); }), before);
  EXPECT_EQ(log.count("Error on getting object from context: "), 0u);
}

}  // namespace
