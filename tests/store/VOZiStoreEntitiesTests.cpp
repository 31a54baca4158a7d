#include <gtest/gtest.h>

#include "common/ApplicationsLanguagesGroup.h"
#include "common/MailAttachmentsGroup.h"
#include "common/SystemLanguagesGroup.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ObjectStoreError.h"
#include "platform/store/PersistentStoreCoordinator.h"
#include "store/IModelItemCoreDataExtensions.h"
#include "store/ItemGroupNameCoreDataExtensions.h"
#include "store/MOApplicationItem.h"
#include "store/MOApplicationsGroup.h"
#include "store/MOBigFileItem.h"
#include "store/MOBigFilesGroup.h"
#include "store/MODuplicateItem.h"
#include "store/MODuplicatesGroup.h"
#include "store/MOLanguageItem.h"
#include "store/MOLanguagesGroup.h"
#include "store/MOMailAttachmentsGroup.h"
#include "store/MOMemoryGroup.h"
#include "store/MOMemoryItem.h"
#include "store/MOSystemLanguagesGroup.h"
#include "store/VOZiModel.h"
#include "support/TempRoot.h"
#include "VOZiStoreFixture.h"

using namespace vozi;
using namespace vozi::storetest;

namespace {

// ---- names --------------------------------------------------------------------

TEST(VOZiStoreNames, FirstUppercasedChangesOnlyTheFirstCharacter) {
  EXPECT_EQ(ItemGroupNameCoreDataExtensions::firstUppercased(""), "");
  EXPECT_EQ(ItemGroupNameCoreDataExtensions::firstUppercased("memory"), "Memory");
  EXPECT_EQ(ItemGroupNameCoreDataExtensions::firstUppercased("userCache"), "UserCache");
  EXPECT_EQ(ItemGroupNameCoreDataExtensions::firstUppercased("Already"), "Already");
  EXPECT_EQ(ItemGroupNameCoreDataExtensions::firstUppercased("1st"), "1st");
  EXPECT_EQ(ItemGroupNameCoreDataExtensions::firstUppercased("\xC3\xA9t\xC3\xA9"), "\xC3\x89t\xC3\xA9");  // été
  EXPECT_EQ(ItemGroupNameCoreDataExtensions::firstUppercased("\xFFx"), "\xFFx");
}

TEST(VOZiStoreNames, EveryKindHasItsTopLevelEntityAndTheTwoRulesAgree) {
  const std::vector<std::pair<ItemGroupName, std::string>> expected = {
      {ItemGroupName::memory, "MOMemoryGroup"},
      {ItemGroupName::duplicates, "MODuplicatesGroup"},
      {ItemGroupName::applications, "MOApplicationsGroup"},
      {ItemGroupName::bigFiles, "MOBigFilesGroup"},
      {ItemGroupName::mailAttachments, "MOMailAttachmentsGroup"},
      {ItemGroupName::shredder, "MOShredderGroup"},
      {ItemGroupName::systemCache, "MOSystemCacheGroup"},
      {ItemGroupName::systemLogs, "MOSystemLogsGroup"},
      {ItemGroupName::userCache, "MOUserCacheGroup"},
      {ItemGroupName::userLogs, "MOUserLogsGroup"},
      {ItemGroupName::systemLanguages, "MOSystemLanguagesGroup"},
      {ItemGroupName::applicationsLanguages, "MOApplicationsLanguagesGroup"},
      {ItemGroupName::trashBin, "MOTrashBinGroup"},
      {ItemGroupName::temporaryFiles, "MOTemporaryFilesGroup"},
  };
  auto model = VOZiModel::make();
  ASSERT_TRUE(model);
  ASSERT_EQ(expected.size(), kAllItemGroupNames.size());
  for (const auto& [name, entity] : expected) {
    EXPECT_EQ(ItemGroupNameCoreDataExtensions::storedEntityName(name), entity);
    EXPECT_EQ(IModelItemCoreDataExtensions::storedModelName(*ItemGroup::group(name)), entity);
    const auto& description = IModelItemCoreDataExtensions::storedModelClass(*ItemGroup::group(name), *model);
    EXPECT_EQ(description.name(), entity);
    EXPECT_TRUE(description.isKindOf(*model->entity("MOItemGroup"))) << entity;
  }
}

TEST(VOZiStoreNames, LeafRecordsNameTheirOwnClass) {
  EXPECT_EQ(IModelItemCoreDataExtensions::storedModelName(*bigFile("/a", 1, 1)), "MOBigFileItem");
  EXPECT_EQ(IModelItemCoreDataExtensions::storedModelName(*typedFile("/a", 1, 1)), "MOTypedFileItem");
  EXPECT_EQ(IModelItemCoreDataExtensions::storedModelName(*file("/a", 1)), "MOFileItem");
  EXPECT_EQ(IModelItemCoreDataExtensions::storedModelName(MemoryItem(1, 2, "i", "n")), "MOMemoryItem");
}

TEST(VOZiStoreModel, TreeAsDeclared) {
  auto model = VOZiModel::make();
  ASSERT_TRUE(model);
  const std::vector<std::pair<std::string, std::string>> parents = {
      {"MOFileItem", "MOModelItem"},           {"MOTypedFileItem", "MOFileItem"},
      {"MOBigFileItem", "MOTypedFileItem"},    {"MOMemoryItem", "MOModelItem"},
      {"MOItemGroup", "MOModelItem"},          {"MODuplicateItem", "MOItemGroup"},
      {"MOSystemLanguagesGroup", "MOItemGroup"}, {"MOApplicationsLanguagesGroup", "MOItemGroup"},
      {"MOBigFilesGroup", "MOFileRepresentableGroup"}, {"MOMailAttachmentsGroup", "MOFileRepresentableGroup"},
      {"MOApplicationItem", "MOFileRepresentableGroup"}, {"MOLanguageItem", "MOFileRepresentableGroup"},
      {"MOItemGroupScanningHistory", "MOItemGroupHistory"}, {"MOItemGroupCleaningHistory", "MOItemGroupHistory"},
  };
  for (const auto& [child, parent] : parents) {
    const auto* entity = model->entity(child);
    ASSERT_TRUE(entity) << child;
    ASSERT_TRUE(entity->superentity()) << child;
    EXPECT_EQ(entity->superentity()->name(), parent) << child;
  }
  EXPECT_FALSE(model->entity("MOFileTypedGroup"));
  const auto* items = model->entity("MOItemGroup")->relationship("items");
  ASSERT_TRUE(items);
  EXPECT_TRUE(items->isManyToMany());
  EXPECT_EQ(items->inverse().name(), "itemGroup");
}

// ---- stored records on a context ------------------------------------------------

class StoredRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    psc = std::make_shared<platform::PersistentStoreCoordinator>(VOZiModel::make());
    platform::Error error;
    ASSERT_TRUE(psc->addSQLiteStore(root / "/VOZi.sqlite", &error)) << platform::ObjectStoreError::describe(error);
    moc = std::make_unique<platform::ManagedObjectContext>(psc, "div.ez.iru.test.vozi");
  }
  template <class F>
  void run(F&& f) {
    moc->performAndWait(std::forward<F>(f));
  }
  template <class T>
  std::shared_ptr<T> insert(std::optional<std::string> name = std::nullopt, std::int64_t size = 0) {
    auto object = moc->insertNewObject<T>(T::kEntityName);
    EXPECT_TRUE(object) << T::kEntityName;
    if (name) object->setName(name);
    object->setSize(size);
    return object;
  }
  std::shared_ptr<MOFileItem> storedFile(const std::string& path, std::int64_t size) {
    auto f = insert<MOFileItem>(path, size);
    f->setPath(path);
    f->setIdentifier(path);
    return f;
  }
  std::shared_ptr<MOBigFileItem> storedBigFile(const std::string& path, std::int64_t size, std::int16_t type) {
    auto f = insert<MOBigFileItem>(path, size);
    f->setPath(path);
    f->setIdentifier(path);
    f->setFileType(type);
    return f;
  }

  test::TempRoot root;
  std::shared_ptr<platform::PersistentStoreCoordinator> psc;
  std::unique_ptr<platform::ManagedObjectContext> moc;
};

TEST_F(StoredRecords, ClassesWithoutARuntimeKindRebuildNothing) {
  run([&] {
    EXPECT_FALSE(insert<MOItemGroup>("g")->createRuntimeModel());
    EXPECT_FALSE(insert<MOFileRepresentableGroup>("g")->createRuntimeModel());
    EXPECT_FALSE(insert<MOLanguagesGroup>("g")->createRuntimeModel());
    EXPECT_FALSE(insert<MOLanguageItem>("g")->createRuntimeModel());
    auto app = insert<MOApplicationItem>("A");
    app->setPath(host("/Applications/A.app"));
    EXPECT_FALSE(app->createRuntimeModel());
  });
}

TEST_F(StoredRecords, GroupFieldsComeBackClampedAndWithoutNameNothing) {
  run([&] {
    auto negative = insert<MOMailAttachmentsGroup>("mailAttachments", -5);
    auto group = negative->createRuntimeModel();
    ASSERT_TRUE(group);
    EXPECT_EQ(group->size(), 0u);
    EXPECT_EQ(group->identifier(), "mailAttachments");  // derived, the stored one is absent

    auto kept = insert<MOMailAttachmentsGroup>("mailAttachments", 5);
    EXPECT_EQ(kept->createRuntimeModel()->size(), 5u);
    EXPECT_FALSE(insert<MOMailAttachmentsGroup>(std::nullopt, 5)->createRuntimeModel());
  });
}

TEST_F(StoredRecords, MailAttachmentsLoseTheirKindsBigFilesKeepThem) {
  run([&] {
    auto mail = insert<MOMailAttachmentsGroup>("mailAttachments", 10);
    mail->addItemsObject(storedBigFile("/m/a.pdf", 10, 16));
    auto group = mail->createRuntimeModel();
    ASSERT_TRUE(group && group->anyItem());
    EXPECT_EQ(group->anyItem()->className(), "FileItem");

    auto big = insert<MOBigFilesGroup>("bigFiles", 10);
    big->addItemsObject(storedBigFile("/b/a.mov", 10, 2));
    auto bigGroup = big->createRuntimeModel();
    ASSERT_TRUE(bigGroup && bigGroup->anyItem());
    auto item = std::dynamic_pointer_cast<BigFileItem>(bigGroup->anyItem());
    ASSERT_TRUE(item);
    EXPECT_EQ(item->fileType(), 2u);

    // One plain file record among the big files: no container at all.
    big->addItemsObject(storedFile("/b/plain", 3));
    bigGroup = big->createRuntimeModel();
    ASSERT_TRUE(bigGroup);
    EXPECT_FALSE(bigGroup->items());
    EXPECT_EQ(bigGroup->size(), 10u);
  });
}

TEST_F(StoredRecords, ApplicationsWithoutPathOrNameAreLeftOut) {
  run([&] {
    auto apps = insert<MOApplicationsGroup>("applications", 1);
    auto good = insert<MOApplicationItem>("Good", 1);
    good->setPath(host("/Applications/Good.app"));
    auto noPath = insert<MOApplicationItem>("NoPath", 1);
    auto noName = insert<MOApplicationItem>(std::nullopt, 1);
    noName->setPath(host("/Applications/NoName.app"));
    for (auto& a : {good, noPath, noName}) apps->addItemsObject(a);
    auto group = apps->createRuntimeModel();
    ASSERT_TRUE(group);
    ASSERT_EQ(group->count(), 1u);
    auto app = std::dynamic_pointer_cast<ApplicationItem>(group->anyItem());
    ASSERT_TRUE(app);
    EXPECT_EQ(app->path(), host("/Applications/Good.app"));
    EXPECT_EQ(app->name(), "Good");
    EXPECT_FALSE(app->iconURL());  // no stored icon, no bundle to find one in
  });
}

TEST_F(StoredRecords, LanguagesOfOneNameGiveOneEntryMemoryNeedsNameAndIdentifier) {
  run([&] {
    auto languages = insert<MOSystemLanguagesGroup>("systemLanguages", 3);
    for (int i = 0; i < 2; ++i) {
      auto fr = insert<MOLanguageItem>("fr", i + 1);
      fr->addItemsObject(storedFile("/fr" + std::to_string(i), i + 1));
      languages->addItemsObject(fr);
    }
    auto group = languages->createRuntimeModel();
    ASSERT_TRUE(group && group->items());
    EXPECT_EQ(group->items()->kind(), ModelItemCollectionKind::dictionary);
    EXPECT_EQ(group->count(), 1u);

    auto memory = insert<MOMemoryGroup>("memory", 4);
    auto good = insert<MOMemoryItem>("RAM", 4);
    good->setIdentifier("m1");
    good->setInstalledMemorySize(8);
    auto unnamed = insert<MOMemoryItem>(std::nullopt, 4);
    unnamed->setIdentifier("m2");
    memory->addItemsObject(good);
    memory->addItemsObject(unnamed);
    auto memoryGroup = memory->createRuntimeModel();
    ASSERT_TRUE(memoryGroup);
    ASSERT_EQ(memoryGroup->count(), 1u);
    EXPECT_EQ(memoryGroup->anyItem()->identifier(), "m1");
  });
}

TEST_F(StoredRecords, DuplicateSetUpdateTakesTheHashAndAnEmptySetClearsIt) {
  run([&] {
    auto stored = insert<MODuplicateItem>("x");
    stored->updateWithRuntimeModel(*duplicateSet(7, {typedFile("/d/1", 5, 1), typedFile("/d/2", 5, 1)}));
    EXPECT_EQ(stored->storedHash(), digest(7));
    EXPECT_EQ(stored->size(), 10);
    EXPECT_EQ(stored->identifier(), "<07070707-07070707-07070707-07070707-07070707-07070707-07070707-07070707>");
    auto set = stored->createRuntimeModel();
    ASSERT_TRUE(set);
    EXPECT_EQ(std::dynamic_pointer_cast<DuplicateItem>(set)->storedHash(), digest(7));

    stored->updateWithRuntimeModel(DuplicateItem(std::nullopt, 0, nullptr, std::nullopt, nullptr, nullptr, digest(7)));
    EXPECT_FALSE(stored->storedHash());

    // A set without a stored hash takes it from its first file on request.
    auto noHash = insert<MODuplicateItem>("y", 3);
    auto rebuilt = std::dynamic_pointer_cast<DuplicateItem>(noHash->createRuntimeModel());
    ASSERT_TRUE(rebuilt);
    EXPECT_FALSE(rebuilt->storedHash());
  });
}

TEST_F(StoredRecords, ApplicationUpdateFromAPlainGroupWritesOnlyGroupFields) {
  run([&] {
    auto stored = insert<MOApplicationItem>();
    stored->setPath(host("/Applications/Old.app"));
    stored->updateWithRuntimeModel(ItemGroup("plain name", 12, nullptr, std::nullopt, nullptr, nullptr));
    EXPECT_EQ(stored->name(), "plain name");
    EXPECT_EQ(stored->size(), 12);
    EXPECT_EQ(stored->identifier(), "plain%20name");
    EXPECT_EQ(stored->path(), host("/Applications/Old.app"));

    stored->updateWithRuntimeModel(*application("/Applications/New One.app", {}, "/icons/new.icns"));
    EXPECT_EQ(stored->path(), host("/Applications/New One.app"));
    EXPECT_EQ(stored->iconPath(), host("/icons/new.icns"));
    EXPECT_EQ(stored->identifier(), platform::URL::percentEncodePath(host("/Applications/New One.app")));
  });
}

TEST_F(StoredRecords, AFileInTwoGroupsListsBoth) {
  run([&] {
    auto shared = storedFile("/s", 1);
    auto a = insert<MOMailAttachmentsGroup>("mailAttachments");
    auto b = insert<MOBigFilesGroup>("bigFiles");
    a->addItemsObject(shared);
    b->addItemsObject(shared);
    platform::Error error;
    ASSERT_TRUE(moc->save(&error));
    EXPECT_EQ(shared->itemGroupCount(), 2u);
  });
}

}  // namespace
