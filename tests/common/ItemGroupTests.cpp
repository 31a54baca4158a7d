#include <gtest/gtest.h>

#include <regex>

#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/ApplicationsLanguagesGroup.h"
#include "common/BigFileItem.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicateItem.h"
#include "common/DuplicatesGroup.h"
#include "common/FileItem.h"
#include "common/ItemGroup.h"
#include "common/LanguageItem.h"
#include "common/MailAttachmentsGroup.h"
#include "common/MemoryGroup.h"
#include "common/MemoryItem.h"
#include "common/ModelItemArray.h"
#include "common/ModelItemDictionary.h"
#include "common/ModelItemOrderedSet.h"
#include "common/ScanGroupName.h"
#include "common/ShredderGroup.h"
#include "common/SystemCacheGroup.h"
#include "common/SystemLanguagesGroup.h"
#include "common/SystemLogsGroup.h"
#include "common/TemporaryFilesGroup.h"
#include "common/TrashBinGroup.h"
#include "common/TypedFileItem.h"
#include "common/UserCacheGroup.h"
#include "common/UserLogsGroup.h"
#include "common/Utilities.h"
#include "platform/Sha256.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

using namespace vozi;
using platform::URL;

namespace {

std::shared_ptr<FileItem> file(const std::string& path, std::uint64_t size) {
  return std::make_shared<FileItem>(URL::fileURLWithPath(path), size, std::nullopt);
}

std::shared_ptr<LanguageItem> language(const std::string& name, std::uint64_t size) {
  return std::make_shared<LanguageItem>(name, size, nullptr, name, nullptr, nullptr);
}

}  // namespace

TEST(ItemGroupName, RawValuesMatchExactlyAndIterateInDeclarationOrder) {
  EXPECT_EQ(fromRawValue<ItemGroupName>("bigFiles"), ItemGroupName::bigFiles);
  EXPECT_EQ(static_cast<int>(*fromRawValue<ItemGroupName>("bigFiles")), 3);
  for (const char* wrong : {"BigFiles", "bigfiles", " bigFiles", "bigFiles ", ""}) {
    EXPECT_FALSE(fromRawValue<ItemGroupName>(wrong)) << wrong;
  }
  ASSERT_EQ(kAllItemGroupNames.size(), 14u);
  EXPECT_EQ(rawValue(kAllItemGroupNames.front()), "memory");
  EXPECT_EQ(rawValue(kAllItemGroupNames.back()), "temporaryFiles");
  for (std::size_t i = 0; i < kAllItemGroupNames.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(kAllItemGroupNames[i]), i);
    EXPECT_EQ(fromRawValue<ItemGroupName>(rawValue(kAllItemGroupNames[i])), kAllItemGroupNames[i]);
  }
}

TEST(ItemGroupName, IteratesWithTheSharedEnumIterator) {
  std::vector<ItemGroupName> names;
  for (auto name : Utilities::iterateEnum<ItemGroupName>()) names.push_back(name);
  EXPECT_EQ(names, std::vector<ItemGroupName>(kAllItemGroupNames.begin(), kAllItemGroupNames.end()));
  std::vector<ScanGroupName> scanNames;
  for (auto name : Utilities::iterateEnum<ScanGroupName>()) scanNames.push_back(name);
  EXPECT_EQ(scanNames, std::vector<ScanGroupName>(kAllScanGroupNames.begin(), kAllScanGroupNames.end()));
}

TEST(ScanGroupName, ElevenCasesWithCapitalisedRawValues) {
  ASSERT_EQ(kAllScanGroupNames.size(), 11u);
  EXPECT_EQ(kAllScanGroupNames.front(), ScanGroupName::system);
  EXPECT_EQ(kAllScanGroupNames.back(), ScanGroupName::shredder);
  const char* expected[] = {"System",     "Leftovers", "Threats",  "Memory",          "Duplicates", "Applications",
                            "Archives",   "Extensions", "BigFiles", "MailAttachments", "Shredder"};
  for (std::size_t i = 0; i < kAllScanGroupNames.size(); ++i) {
    EXPECT_EQ(rawValue(kAllScanGroupNames[i]), expected[i]);
    EXPECT_EQ(fromRawValue<ScanGroupName>(expected[i]), kAllScanGroupNames[i]);
  }
  EXPECT_FALSE(fromRawValue<ScanGroupName>("system"));
}

TEST(ItemGroupFactory, MakesEachNamedGroupWithItsClassAndContainer) {
  struct Case {
    ItemGroupName name;
    std::string_view className;
    bool (*isOfClass)(const ItemGroup&);
    // The item a first addItem puts into the group, and the container kind it makes.
    ModelItemPtr item;
    ModelItemCollectionKind container;
  };
  auto fileItem = file("/Users/u/a.txt", 10);
  auto lang = language("fr", 10);
  auto memory = std::make_shared<MemoryItem>(10, 100, "memory", "memory");
  auto app = std::make_shared<ApplicationItem>(URL::fileURLWithPath("/Applications/A.app", true), 10, nullptr, "",
                                               nullptr, nullptr, std::nullopt);
  const Case cases[] = {
      {ItemGroupName::memory, "MemoryGroup", [](const ItemGroup& g) { return !!dynamic_cast<const MemoryGroup*>(&g); },
       memory, ModelItemCollectionKind::array},
      {ItemGroupName::duplicates, "DuplicatesGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const DuplicatesGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::applications, "ApplicationsGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const ApplicationsGroup*>(&g); }, app,
       ModelItemCollectionKind::array},
      {ItemGroupName::bigFiles, "BigFilesGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const BigFilesGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::mailAttachments, "MailAttachmentsGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const MailAttachmentsGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::shredder, "ShredderGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const ShredderGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::systemCache, "SystemCacheGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const SystemCacheGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::systemLogs, "SystemLogsGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const SystemLogsGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::userCache, "UserCacheGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const UserCacheGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::userLogs, "UserLogsGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const UserLogsGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::systemLanguages, "SystemLanguagesGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const SystemLanguagesGroup*>(&g); }, lang,
       ModelItemCollectionKind::dictionary},
      {ItemGroupName::applicationsLanguages, "ApplicationsLanguagesGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const ApplicationsLanguagesGroup*>(&g); }, lang,
       ModelItemCollectionKind::dictionary},
      {ItemGroupName::trashBin, "TrashBinGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const TrashBinGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
      {ItemGroupName::temporaryFiles, "TemporaryFilesGroup",
       [](const ItemGroup& g) { return !!dynamic_cast<const TemporaryFilesGroup*>(&g); }, fileItem,
       ModelItemCollectionKind::array},
  };
  ASSERT_EQ(std::size(cases), kAllItemGroupNames.size());
  for (const auto& c : cases) {
    SCOPED_TRACE(rawValue(c.name));
    auto group = ItemGroup::group(c.name);
    ASSERT_TRUE(group);
    EXPECT_TRUE(c.isOfClass(*group));
    EXPECT_EQ(group->className(), c.className);
    EXPECT_EQ(group->name(), std::string(rawValue(c.name)));
    EXPECT_EQ(group->identifier(), std::string(rawValue(c.name)));
    EXPECT_EQ(group->size(), 0u);
    EXPECT_FALSE(group->items());
    EXPECT_FALSE(group->scanningHistory());
    EXPECT_FALSE(group->cleaningHistory());

    group->addItem(c.item);
    ASSERT_TRUE(group->items());
    EXPECT_EQ(group->items()->kind(), c.container);
    EXPECT_EQ(group->size(), 10u);
    EXPECT_EQ(group->anyItem(), c.item);
  }
}

TEST(ItemGroupFactory, ClassTreeMatchesTheGroupKinds) {
  EXPECT_TRUE(dynamic_cast<FileRepresentableGroup*>(ItemGroup::group(ItemGroupName::trashBin).get()));
  EXPECT_TRUE(dynamic_cast<FileTypedGroup*>(ItemGroup::group(ItemGroupName::bigFiles).get()));
  EXPECT_TRUE(dynamic_cast<FileTypedGroup*>(ItemGroup::group(ItemGroupName::mailAttachments).get()));
  EXPECT_TRUE(dynamic_cast<LanguagesGroup*>(ItemGroup::group(ItemGroupName::systemLanguages).get()));
  EXPECT_TRUE(dynamic_cast<IFilterable*>(ItemGroup::group(ItemGroupName::bigFiles).get()));
  EXPECT_TRUE(dynamic_cast<IURLsRelated*>(ItemGroup::group(ItemGroupName::duplicates).get()));
  EXPECT_TRUE(dynamic_cast<IIgnorablePaths*>(ItemGroup::group(ItemGroupName::duplicates).get()));
  EXPECT_FALSE(dynamic_cast<FileRepresentableGroup*>(ItemGroup::group(ItemGroupName::duplicates).get()));
  EXPECT_FALSE(ItemGroup::group(ItemGroupName::memory)->emptyItems());
}

// The three containers through a group: what add, remove, itemForKey and
// anyItem do with an item, an equal item and a missing one.
TEST(ItemGroupContainers, ArrayKeepsEveryAdditionAndRemovesAllEqualItems) {
  auto group = ItemGroup::group(ItemGroupName::userCache);
  auto a = file("/c/a", 1), b = file("/c/b", 2), aAgain = file("/c/a", 4);
  group->addItem(a);
  group->addItem(b);
  group->addItem(aAgain);
  group->addItem(nullptr);
  EXPECT_EQ(group->count(), 3u);
  EXPECT_EQ(group->size(), 7u);
  EXPECT_EQ(group->anyItem(), a);
  EXPECT_EQ(group->itemForKey(std::size_t{1}), b);
  EXPECT_EQ(group->itemForKey(std::size_t{3}), nullptr);
  EXPECT_EQ(group->itemForKey(std::string("a")), nullptr);

  group->removeItem(file("/c/missing", 100));
  EXPECT_EQ(group->size(), 7u);
  // Both items with a's path go, and with them both their sizes.
  group->removeItem(file("/c/a", 0));
  EXPECT_EQ(group->count(), 1u);
  EXPECT_EQ(group->size(), 2u);
  EXPECT_EQ(group->anyItem(), b);
}

TEST(ItemGroupContainers, OrderedSetHoldsEqualItemsOnceAndCountsTheirSizeOnce) {
  auto set = std::make_shared<DuplicateItem>("set", 0, nullptr, "", nullptr, nullptr, platform::Data{1, 2});
  auto a = file("/d/a", 5);
  // Files of a set must share its hash; the stored hash stands for it here.
  set->addItem(a);
  EXPECT_EQ(set->items()->kind(), ModelItemCollectionKind::orderedSet);
  set->addItem(a);
  EXPECT_EQ(set->count(), 1u);
  EXPECT_EQ(set->size(), 5u) << "adding a held item must not grow the size";
  EXPECT_EQ(set->itemForKey(std::size_t{0}), a);
  EXPECT_EQ(set->anyItem(), a);
  set->removeItem(file("/d/a", 5));
  EXPECT_EQ(set->count(), 0u);
  EXPECT_EQ(set->size(), 0u);

  ModelItemOrderedSet plain;
  auto b = file("/d/b", 1);
  EXPECT_TRUE(plain.addItem(a).added);
  EXPECT_TRUE(plain.addItem(b).added);
  EXPECT_FALSE(plain.addItem(file("/d/a", 9)).added);
  EXPECT_EQ(plain.itemForKey(std::size_t{1}), b);
  EXPECT_EQ(plain.removeItem(file("/d/a", 9)), std::vector<ModelItemPtr>{a});
  EXPECT_FALSE(plain.contains(a));
  EXPECT_EQ(plain.anyItem(), b);
}

TEST(ItemGroupContainers, DictionaryKeysByNameAndReplacementKeepsSizeInStep) {
  auto group = ItemGroup::group(ItemGroupName::systemLanguages);
  auto fr = language("fr", 10), de = language("de", 20), frAgain = language("fr", 3);
  group->addItem(fr);
  group->addItem(de);
  EXPECT_EQ(group->size(), 30u);
  group->addItem(fr);
  EXPECT_EQ(group->size(), 30u) << "adding a held item must not grow the size";
  group->addItem(frAgain);
  EXPECT_EQ(group->count(), 2u);
  EXPECT_EQ(group->size(), 23u) << "a replaced entry gives its size back";
  EXPECT_EQ(group->itemForKey(std::string("fr")), frAgain);
  EXPECT_EQ(group->itemForKey(std::size_t{0}), nullptr);
  EXPECT_EQ(group->anyItem(), de);
  // Removal goes by name, and gives back the size of what was held.
  group->removeItem(language("fr", 999));
  EXPECT_EQ(group->size(), 20u);
  EXPECT_EQ(group->itemForKey(std::string("fr")), nullptr);
  // An item without a name has no key: it is not held and not counted.
  auto nameless = std::make_shared<MemoryItem>(7, 0, "id", std::nullopt);
  group->addItem(nameless);
  EXPECT_EQ(group->count(), 1u);
  EXPECT_EQ(group->size(), 20u);
  group->removeAll();
  EXPECT_EQ(group->count(), 0u);
  EXPECT_EQ(group->size(), 0u);
}

TEST(ItemGroupContainers, MutableCopyMakesANewContainerOfTheSameKindWithTheSameItems) {
  const std::shared_ptr<IZOLModelItemMutableCollection> containers[] = {
      std::make_shared<ModelItemArray>(), std::make_shared<ModelItemOrderedSet>(),
      std::make_shared<ModelItemDictionary>()};
  for (const auto& container : containers) {
    auto item = language("it", 1);
    container->addItem(item);
    auto copy = container->mutableCopy();
    EXPECT_NE(copy, container);
    EXPECT_EQ(copy->kind(), container->kind());
    EXPECT_EQ(copy->anyItem(), item);
    copy->removeAll();
    EXPECT_EQ(container->count(), 1u);
  }
}

TEST(ItemGroup, HistoriesRecordTheCurrentSizeAndKeepTheTotal) {
  auto group = ItemGroup::group(ItemGroupName::trashBin);
  group->addItem(file("/t/a", 40));
  group->addItem(file("/t/a", 0));  // re-found item; the array holds both
  group->removeItem(file("/t/a", 0));
  group->addItem(file("/t/b", 2));
  const auto before = platform::Date::now();
  group->updateScanningHistory();
  ASSERT_TRUE(group->scanningHistory());
  EXPECT_EQ(group->scanningHistory()->size(), 2u);
  EXPECT_EQ(group->scanningHistory()->total(), 0u);
  ASSERT_TRUE(group->scanningHistory()->lastDate());
  EXPECT_GE(*group->scanningHistory()->lastDate(), before);
  EXPECT_FALSE(group->cleaningHistory());

  auto history = std::make_shared<ZOLMItemGroupHistory>(1, 500, std::nullopt);
  ItemGroup withHistory("g", 9, nullptr, "", nullptr, history);
  withHistory.updateCleaningHistory();
  EXPECT_EQ(history->size(), 9u);
  EXPECT_EQ(history->total(), 500u);
}

TEST(ItemGroup, IdentifierIsTheNamePercentEncoded) {
  struct Case {
    const char* name;
    const char* identifier;
  } cases[] = {{"bigFiles", "bigFiles"}, {"big Files", "big%20Files"}, {"a/b:c@d", "a/b:c@d"},
               {"100%", "100%25"},       {"caf\xC3\xA9", "caf%C3%A9"},   {"q?x#y", "q%3Fx%23y"}};
  for (const auto& c : cases) {
    ItemGroup group(c.name, 0, nullptr, "ignored", nullptr, nullptr);
    EXPECT_EQ(group.identifier(), c.identifier) << c.name;
  }
  EXPECT_EQ(file("/Users/u/My File.txt", 0)->identifier(), "/Users/u/My%20File.txt");
  EXPECT_EQ(language("pt BR", 0)->identifier(), "pt BR");
  EXPECT_EQ(MemoryItem(1, 2, "stored id", "n").identifier(), "stored id");
}

TEST(FileItem, DerivesNameExtensionAndPathFromItsURL) {
  auto item = file("/Users/u/archive.tar.gz", 3);
  EXPECT_EQ(item->path(), "/Users/u/archive.tar.gz");
  EXPECT_EQ(item->name(), "archive.tar");
  EXPECT_EQ(item->fileExtension(), "gz");
  auto folder = std::make_shared<FileItem>(URL::fileURLWithPath("/Users/u/Lib rary", true), 0, std::nullopt);
  EXPECT_EQ(folder->path(), "/Users/u/Lib rary");
  EXPECT_EQ(folder->name(), "Lib rary");
  EXPECT_EQ(folder->identifier(), "/Users/u/Lib%20rary");
  EXPECT_EQ(file("/x/.profile", 0)->name(), ".profile");
  EXPECT_EQ(file("/x/.profile", 0)->fileExtension(), "");
}

TEST(FileItem, EqualsAnyRecordWithTheSamePath) {
  auto a = file("/p/same", 1);
  auto b = std::make_shared<FileItem>(URL::fileURLWithPath("/p/same"), 99, platform::Date(5));
  auto typed = std::make_shared<TypedFileItem>(URL::fileURLWithPath("/p/same"), 7, std::nullopt, "", 4);
  EXPECT_TRUE(a->isEqual(*b));
  EXPECT_TRUE(a->isEqual(*typed));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_FALSE(a->isEqual(*file("/p/other", 1)));
  auto app = std::make_shared<ApplicationItem>(URL::fileURLWithPath("/p/same", true), 0, nullptr, "", nullptr,
                                               nullptr, std::nullopt);
  EXPECT_TRUE(a->isEqual(*app));
  EXPECT_FALSE(a->isEqual(MemoryItem(1, 1, "/p/same", "/p/same")));
  EXPECT_FALSE(a->isEqual(ItemGroup("/p/same", 0, nullptr, "", nullptr, nullptr)));
  // Groups compare by identity.
  auto group = ItemGroup::group(ItemGroupName::trashBin);
  EXPECT_FALSE(group->isEqual(*ItemGroup::group(ItemGroupName::trashBin)));
  EXPECT_TRUE(group->isEqual(*group));
}

TEST(FileItem, ReadsItsSizeAndContentHashFromDisk) {
  test::TempRoot root;
  const std::string path = root.writeFile("/Users/u/f.bin", "hello");
  auto item = std::make_shared<FileItem>(URL::fileURLWithPath(path), 0, std::nullopt);
  item->updateSize();
  EXPECT_EQ(item->size(), 5u);
  const auto hash = item->fileDataHash();
  ASSERT_TRUE(hash);
  ASSERT_EQ(hash->size(), 32u);
  EXPECT_EQ(platform::Sha256::hex(std::string(hash->begin(), hash->end())).size(), 64u);
  EXPECT_EQ((*hash)[0], 0x2c);  // SHA-256("hello") = 2cf24dba...
  EXPECT_EQ((*hash)[31], 0x24);

  auto missing = std::make_shared<FileItem>(URL::fileURLWithPath(root / "/nothing"), 8, std::nullopt);
  missing->updateSize();
  EXPECT_EQ(missing->size(), 0u);
  EXPECT_FALSE(missing->fileDataHash());
  // An unreadable file is tried again on the next request.
  root.writeFile("/nothing", "hello");
  EXPECT_EQ(missing->fileDataHash(), hash);
}

TEST(DuplicateItem, AdmitsOnlyFilesWithTheSetsContentHash) {
  test::TempRoot root;
  auto first = file(root.writeFile("/a/1", "same"), 4);
  auto second = file(root.writeFile("/b/2", "same"), 4);
  auto third = file(root.writeFile("/c/3", "same"), 4);
  auto other = file(root.writeFile("/d/4", "different"), 9);
  auto unreadable = file(root / "/none", 1);

  DuplicateItem set("dup", 0, nullptr, "", nullptr, nullptr, std::nullopt);
  EXPECT_FALSE(set.fileDataHash());
  EXPECT_FALSE(set.identifier());
  EXPECT_FALSE(set.isValid());

  set.addItem(first);
  EXPECT_FALSE(set.isValid());
  set.addItem(other);
  set.addItem(unreadable);
  set.addItem(second);
  set.addItem(second);
  set.addItem(third);
  EXPECT_EQ(set.count(), 3u);
  EXPECT_EQ(set.size(), 12u);
  EXPECT_TRUE(set.isValid());
  EXPECT_EQ(set.name(), "1");
  EXPECT_EQ(set.fileDataHash(), first->fileDataHash());

  const auto identifier = set.identifier();
  ASSERT_TRUE(identifier);
  EXPECT_TRUE(std::regex_match(*identifier, std::regex("<[0-9a-f]{8}(-[0-9a-f]{8}){7}>"))) << *identifier;
  const std::string hex = platform::Sha256::hex("same");
  EXPECT_EQ(identifier->substr(1, 8), hex.substr(0, 8));
  EXPECT_EQ(identifier->substr(10, 8), hex.substr(8, 8));
}

TEST(DuplicateItem, AnEmptySetAnswersTheNameItWasMadeWith) {
  DuplicateItem set("dupName", 0, nullptr, "", nullptr, nullptr, platform::Data{1});
  EXPECT_EQ(set.name(), "dupName");
  EXPECT_FALSE(set.fileDataHash()) << "an empty set has no content hash, even with a stored one";
}

TEST(BigFileItem, SortsSizesIntoCategoriesAtTheFixedBounds) {
  const std::pair<std::uint64_t, long> cases[] = {
      {0, 3},          {52422800, 3},   {52422801, 2},   {524228000, 2},
      {524228001, 1},  {524288000, 1},  {1073741824, 1}, {1073741825, 0},
      {UINT64_MAX, 0},
  };
  for (const auto& [size, category] : cases) {
    BigFileItem item(URL::fileURLWithPath("/b"), size, std::nullopt, "", 2);
    EXPECT_EQ(item.fileSizeCategory(), category) << size;
  }
}

TEST(ItemGroup, LeafWalkDescendsIntoChildGroupsAndStopsOnlyItsOwnContainer) {
  auto duplicates = ItemGroup::group(ItemGroupName::duplicates);
  auto set = std::make_shared<DuplicateItem>("s", 0, nullptr, "", nullptr, nullptr, std::nullopt);
  auto items = std::make_shared<ModelItemOrderedSet>();
  for (const char* path : {"/s/1", "/s/2", "/s/3"}) items->addItem(file(path, 1));
  set->setItems(items);
  duplicates->addItem(set);
  duplicates->addItem(file("/top", 1));

  std::vector<std::string> visited;
  duplicates->enumerateLeaves([&](const ModelItemPtr& item, bool&) {
    EXPECT_FALSE(dynamic_cast<ItemGroup*>(item.get()));
    visited.push_back(*item->name());
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"1", "2", "3", "top"}));

  visited.clear();
  duplicates->enumerateLeaves([&](const ModelItemPtr& item, bool& stop) {
    visited.push_back(*item->name());
    stop = true;
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"1", "top"}));

  visited.clear();
  duplicates->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey& key, bool& stop) {
    EXPECT_EQ(std::get<std::size_t>(key), 0u);
    visited.push_back(*item->name());
    stop = true;
  });
  EXPECT_EQ(visited, std::vector<std::string>{"1"});
}

TEST(ItemGroupCopy, SharesChildrenInANewContainerAndCopiesHistories) {
  auto group = ItemGroup::group(ItemGroupName::userLogs);
  auto child = file("/l/1", 3);
  group->addItem(child);
  group->updateScanningHistory();
  auto copy = std::dynamic_pointer_cast<UserLogsGroup>(group->copy());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->name(), "userLogs");
  EXPECT_EQ(copy->size(), 3u);
  EXPECT_NE(copy->items(), group->items());
  EXPECT_EQ(copy->anyItem(), child);
  ASSERT_TRUE(copy->scanningHistory());
  EXPECT_NE(copy->scanningHistory(), group->scanningHistory());
  EXPECT_EQ(copy->scanningHistory()->size(), 3u);
  EXPECT_EQ(copy->scanningHistory()->lastDate(), group->scanningHistory()->lastDate());
  copy->removeAll();
  EXPECT_EQ(group->count(), 1u);
}

TEST(ItemGroupCopy, KeepsTheFieldsOnlyASubclassHolds) {
  auto app = std::make_shared<ApplicationItem>(URL::fileURLWithPath("/Applications/My App.app", true), 5, nullptr,
                                               "", nullptr, nullptr, URL::fileURLWithPath("/icons/a.icns"));
  app->addItem(file("/Users/u/Library/Caches/my", 7));
  auto appCopy = std::dynamic_pointer_cast<ApplicationItem>(app->copy());
  ASSERT_TRUE(appCopy);
  EXPECT_EQ(appCopy->url(), app->url());
  EXPECT_EQ(appCopy->name(), "My App");
  EXPECT_EQ(appCopy->path(), "/Applications/My App.app");
  EXPECT_EQ(appCopy->identifier(), "/Applications/My%20App.app");
  EXPECT_EQ(appCopy->iconURL(), URL::fileURLWithPath("/icons/a.icns"));
  EXPECT_EQ(appCopy->lastOpen(), app->lastOpen());
  EXPECT_EQ(appCopy->size(), 12u);

  auto duplicates = std::dynamic_pointer_cast<DuplicatesGroup>(ItemGroup::group(ItemGroupName::duplicates));
  duplicates->setScanningURLs(std::vector<URL>{URL::fileURLWithPath("/Users/u", true)});
  duplicates->setIgnorePathFragments({".git"});
  duplicates->setIgnoreURLs({URL::fileURLWithPath("/Users/u/skip", true)});
  auto duplicatesCopy = std::dynamic_pointer_cast<DuplicatesGroup>(duplicates->copy());
  EXPECT_EQ(duplicatesCopy->scanningURLs(), duplicates->scanningURLs());
  EXPECT_EQ(duplicatesCopy->ignorePathFragments(), duplicates->ignorePathFragments());
  EXPECT_EQ(duplicatesCopy->ignoreURLs(), duplicates->ignoreURLs());

  auto big = std::dynamic_pointer_cast<BigFilesGroup>(ItemGroup::group(ItemGroupName::bigFiles));
  big->setScanningURLs(std::vector<URL>{URL::fileURLWithPath("/Users/u", true)});
  big->setMinFileSizeToScan(1000);
  big->setMinLastAccessDate(platform::Date(77));
  big->setFileItemTypes(31);
  auto bigCopy = std::dynamic_pointer_cast<BigFilesGroup>(big->copy());
  EXPECT_EQ(bigCopy->scanningURLs(), big->scanningURLs());
  EXPECT_EQ(bigCopy->minFileSizeToScan(), 1000u);
  EXPECT_EQ(bigCopy->minLastAccessDate(), platform::Date(77));
  EXPECT_EQ(bigCopy->fileItemTypes(), 31u);

  auto set = std::make_shared<DuplicateItem>("d", 0, nullptr, "", nullptr, nullptr, platform::Data{9, 9});
  set->addItem(file("/x", 1));
  auto setCopy = std::dynamic_pointer_cast<DuplicateItem>(set->copy());
  EXPECT_EQ(setCopy->storedHash(), set->storedHash());
  EXPECT_EQ(setCopy->identifier(), set->identifier());

  auto typed = std::make_shared<TypedFileItem>(URL::fileURLWithPath("/t.mov"), 3, platform::Date(1), "", 2);
  auto typedCopy = std::dynamic_pointer_cast<TypedFileItem>(typed->copy());
  ASSERT_TRUE(typedCopy);
  EXPECT_EQ(typedCopy->fileType(), 2u);
  EXPECT_EQ(typedCopy->lastOpenDate(), platform::Date(1));
  EXPECT_TRUE(std::dynamic_pointer_cast<BigFileItem>(
      BigFileItem(URL::fileURLWithPath("/b"), 1, std::nullopt, "", 1).copy()));
}

TEST(RecordDescriptions, FollowTheLogLineFormats) {
  const std::string address = "0x[0-9a-f]+";
  auto group = ItemGroup::group(ItemGroupName::trashBin);
  EXPECT_TRUE(std::regex_match(group->description(),
                               std::regex("<TrashBinGroup: " + address +
                                          "> Name: trashBin\\. Number of items 0, size 0, identifier trashBin\\.")))
      << group->description();
  group->addItem(file("/t/a b.txt", 5));
  EXPECT_TRUE(std::regex_match(
      group->description(),
      std::regex("<TrashBinGroup: " + address +
                 "> Name: trashBin\\. Random item name: a b\\. Number of items 1, size 5, identifier trashBin\\.")))
      << group->description();

  FileItem item(URL::fileURLWithPath("/t/a b.txt"), 5, platform::Date(0));
  EXPECT_TRUE(std::regex_match(item.description(),
                               std::regex("<FileItem: " + address +
                                          "> url: file:///t/a%20b\\.txt, identifier /t/a%20b\\.txt\\. LastOpen: "
                                          "2001-01-01 00:00:00 \\+0000\\.")))
      << item.description();
  BigFileItem big(URL::fileURLWithPath("/b"), 1, std::nullopt, "", 4);
  EXPECT_TRUE(std::regex_match(big.description(),
                               std::regex("<BigFileItem: " + address +
                                          "> url: file:///b, identifier /b\\. FileType 4\\. FileSizeCategory 3\\.")))
      << big.description();
  MemoryItem memory(10, 20, "id", "RAM");
  EXPECT_TRUE(std::regex_match(
      memory.description(),
      std::regex("<MemoryItem: " + address + ">Name: RAM\\. Identifier id, size 10, installed memory size 20\\.")))
      << memory.description();
  ZOLMItemGroupHistory history(1, 2, std::nullopt);
  EXPECT_TRUE(std::regex_match(history.description(),
                               std::regex("<ZOLMItemGroupHistory " + address + "> size: 1, totalSize: 2, date: \\(null\\)")))
      << history.description();
  ApplicationItem app(URL::fileURLWithPath("/Applications/A.app", true), 0, nullptr, "", nullptr, nullptr,
                      std::nullopt);
  EXPECT_TRUE(app.description().ends_with(" URL: file:///Applications/A.app/.")) << app.description();
}

// Applications' own Info.plist files are read the way the platform reads
// them; one that cannot be read leaves the application without identifier
// or icon, and says so in the log.
TEST(ApplicationItem, ReadsInfoPlistsAsThePlatformDoesAndLogsUnreadableOnes) {
  test::TempRoot root;
  test::MacTree tree(root);
  const std::string header =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
  struct Case {
    const char* name;
    std::string body;
    std::optional<std::string> bundleID;
  } cases[] = {
      {"Control", "\t<key>Note</key><string>tab\x01" "bed</string>\n\t<key>CFBundleIdentifier</key>"
                  "<string>com.example.control</string>\n</dict>\n</plist>\n",
       "com.example.control"},
      {"Twice", "<!-- edited -- by hand --><key>CFBundleIdentifier</key><string>com.example.old</string>"
                "<key>CFBundleIdentifier</key><string>com.example.twice</string></dict></plist>",
       "com.example.twice"},
      {"Broken", "<key>CFBundleIdentifier</key><string>com.example.broken</string><key>Orphan</key></dict></plist>",
       std::nullopt},
      {"Truncated", "<key>CFBundleIdentifier</key><string>com.example.truncated</string>", std::nullopt},
  };
  test::LogCapture log;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ApplicationBundle bundle;
    bundle.name = c.name;
    bundle.writeInfoPlist = false;
    tree.addApplication(bundle);
    const std::string app = "/Applications/" + std::string(c.name) + ".app";
    tree.addFile(app + "/Contents/Info.plist", header + c.body);
    EXPECT_EQ(ApplicationItem::bundleID(URL::fileURLWithPath(tree.host(app), true)), c.bundleID);
    EXPECT_EQ(log.count(tree.host(app) + "/Contents/Info.plist"), c.bundleID ? 0u : 1u);
  }
}

TEST(ApplicationItem, ReadsItsBundleForIdentifierIconAndLastUse) {
  test::TempRoot root;
  test::MacTree tree(root);
  test::ApplicationBundle tool;
  tool.name = "Tool";
  tool.bundleIdentifier = "com.example.tool";
  tool.iconFile = "ToolIcon.icns";
  tree.addApplication(tool);
  tree.addFile("/Applications/Tool.app/Contents/Resources/ToolIcon.icns", "icon");
  const std::string bundle = tree.host("/Applications/Tool.app");
  tree.setDates("/Applications/Tool.app", platform::Date(400000000), platform::Date(300000000));
  ApplicationItem app(URL::fileURLWithPath(bundle, true), 0, nullptr, "", nullptr, nullptr, std::nullopt);
  EXPECT_EQ(app.name(), "Tool");
  EXPECT_EQ(app.bundleID(), "com.example.tool");
  EXPECT_EQ(ApplicationItem::bundleID(URL::fileURLWithPath(bundle, true)), "com.example.tool");
  // ".icns" is taken out of the name and put back as the extension.
  EXPECT_EQ(app.iconURL(), URL::fileURLWithPath(bundle + "/Contents/Resources/ToolIcon.icns"));
  EXPECT_EQ(app.lastOpen(), platform::Date(400000000));
  EXPECT_FALSE(ApplicationItem::infoPlistPath(URL::fileURLWithPath(bundle, true)));
  tree.addFile("/Applications/Tool.app/Contents/Resources/info.plist", "x");
  EXPECT_EQ(ApplicationItem::infoPlistPath(URL::fileURLWithPath(bundle, true)),
            bundle + "/Contents/Resources/info.plist");

  // A stored icon URL wins over the bundle's own.
  ApplicationItem cached(URL::fileURLWithPath(bundle, true), 0, nullptr, "", nullptr, nullptr,
                         URL::fileURLWithPath("/cache/tool.icns"));
  EXPECT_EQ(cached.iconURL(), URL::fileURLWithPath("/cache/tool.icns"));

  // An information list that is a link leads nowhere.
  test::ApplicationBundle linked;
  linked.name = "Linked";
  linked.writeInfoPlist = false;
  tree.addApplication(linked);
  tree.addSymlink("/Applications/Linked.app/Contents/Info.plist", bundle + "/Contents/Info.plist");
  EXPECT_FALSE(ApplicationItem::infoPlist(URL::fileURLWithPath(tree.host("/Applications/Linked.app"), true)));

  // No bundle at all: nothing to read, but the record still names itself.
  ApplicationItem gone(URL::fileURLWithPath(root / "/Applications/Gone.app", true), 0, nullptr, "", nullptr, nullptr,
                       std::nullopt);
  EXPECT_EQ(gone.name(), "Gone");
  EXPECT_FALSE(gone.bundleID());
  EXPECT_FALSE(gone.iconURL());
  EXPECT_FALSE(gone.lastOpen());
}
