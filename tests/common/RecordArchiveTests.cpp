#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/ApplicationsLanguagesGroup.h"
#include "common/BigFileItem.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicateItem.h"
#include "common/DuplicatesGroup.h"
#include "common/FileItem.h"
#include "common/FileRepresentableGroup.h"
#include "common/FileTypedGroup.h"
#include "common/LanguageItem.h"
#include "common/LanguagesGroup.h"
#include "common/MailAttachmentsGroup.h"
#include "common/MemoryGroup.h"
#include "common/MemoryItem.h"
#include "common/ModelItemArray.h"
#include "common/ModelItemDictionary.h"
#include "common/ModelItemOrderedSet.h"
#include "common/RecordArchive.h"
#include "common/ShredderGroup.h"
#include "common/SystemCacheGroup.h"
#include "common/SystemLanguagesGroup.h"
#include "common/SystemLogsGroup.h"
#include "common/TemporaryFilesGroup.h"
#include "common/TrashBinGroup.h"
#include "common/TypedFileItem.h"
#include "common/UserCacheGroup.h"
#include "common/UserLogsGroup.h"
#include "common/ZOLMApplicationState.h"
#include "common/ZOLMEvent.h"
#include "common/ZOLMPreferences.h"
#include "common/ZOLMTrackingData.h"
#include "common/ZOLMUserData.h"
#include "platform/BinaryPropertyListBuilder.h"
#include "platform/CocoaError.h"
#include "platform/PropertyList.h"

using namespace vozi;
using platform::Data;
using platform::Date;
using platform::URL;
using platform::Value;

namespace {

constexpr std::uint64_t kHugeSize = (std::uint64_t{1} << 63) + 5;  // above INT64_MAX

// ---- Inspecting an archive ----------------------------------------------------

// An archive opened as the property list it is.
struct ArchiveView {
  Value plist;

  explicit ArchiveView(const Data& bytes) {
    auto parsed = platform::PropertyList::fromBinary(bytes);
    EXPECT_TRUE(parsed.ok());
    if (parsed) plist = std::move(*parsed);
  }

  const Value::Array& objects() const { return *plist.find("$objects")->asArray(); }
  const Value& object(const Value& reference) const { return objects().at(*reference.asUID()); }
  const Value& root() const { return object(*plist.find("$top")->find("root")); }
  // "$classname" and "$classes" of an object.
  std::string className(const Value& instance) const {
    return *object(*instance.find("$class")).find("$classname")->asString();
  }
  std::vector<std::string> classChain(const Value& instance) const {
    std::vector<std::string> chain;
    for (const auto& name : *object(*instance.find("$class")).find("$classes")->asArray()) {
      chain.push_back(*name.asString());
    }
    return chain;
  }
  std::set<std::string> keys(const Value& instance) const {
    std::set<std::string> names;
    for (const auto& [key, value] : *instance.asDictionary()) {
      if (key != "$class") names.insert(key);
    }
    return names;
  }
};

// ---- Comparing record trees ---------------------------------------------------

// Everything a record holds that an archive carries, as one Value, children
// included, so that two trees compare with ==.
Value snapshot(const ModelItemPtr& item);

Value snapshot(const ItemGroupHistoryPtr& history) {
  if (!history) return Value();
  return Value(Value::Dictionary{{"size", Value(history->size())},
                                 {"total", Value(history->total())},
                                 {"lastDate", history->lastDate() ? Value(*history->lastDate()) : Value()}});
}

Value urls(const std::optional<std::vector<URL>>& list) {
  if (!list) return Value();
  Value::Array texts;
  for (const auto& url : *list) texts.emplace_back(url.absoluteString());
  return Value(texts);
}

Value optionalText(const std::optional<std::string>& text) { return text ? Value(*text) : Value(); }

Value snapshot(const ModelItemPtr& item) {
  if (!item) return Value();
  Value::Dictionary out{{"class", Value(item->className())},
                        {"name", optionalText(item->name())},
                        {"identifier", optionalText(item->identifier())},
                        {"size", Value(item->size())}};
  if (const auto* file = dynamic_cast<const FileItem*>(item.get())) {
    out["url"] = Value(file->url().absoluteString());
    out["lastOpenDate"] = file->lastOpenDate() ? Value(*file->lastOpenDate()) : Value();
  }
  if (const auto* typed = dynamic_cast<const TypedFileItem*>(item.get())) out["fileType"] = Value(typed->fileType());
  if (const auto* memory = dynamic_cast<const MemoryItem*>(item.get())) {
    out["installedMemorySize"] = Value(memory->installedMemorySize());
  }
  if (const auto* group = dynamic_cast<const ItemGroup*>(item.get())) {
    out["scanningHistory"] = snapshot(group->scanningHistory());
    out["cleaningHistory"] = snapshot(group->cleaningHistory());
    if (group->items()) {
      Value::Array children;
      group->enumerateObjects([&](const ModelItemPtr& child, const ModelItemKey& key, bool&) {
        children.emplace_back(Value::Array{
            std::holds_alternative<std::string>(key) ? Value(std::get<std::string>(key))
                                                    : Value(static_cast<std::uint64_t>(std::get<std::size_t>(key))),
            snapshot(child)});
      });
      out["items"] = Value(Value::Array{Value(static_cast<int>(group->items()->kind())), Value(children)});
    }
  }
  if (const auto* set = dynamic_cast<const DuplicateItem*>(item.get())) {
    out["storedHash"] = set->storedHash() ? Value(*set->storedHash()) : Value();
  }
  if (const auto* related = dynamic_cast<const IURLsRelated*>(item.get())) out["scanningURLs"] = urls(related->scanningURLs());
  if (const auto* app = dynamic_cast<const ApplicationItem*>(item.get())) {
    out["url"] = app->url() ? Value(app->url()->absoluteString()) : Value();
    out["lastOpen"] = app->lastOpen() ? Value(*app->lastOpen()) : Value();
    out["iconURL"] = app->iconURL() ? Value(app->iconURL()->absoluteString()) : Value();
  }
  return Value(out);
}

// ---- Sample records of every class ----------------------------------------------

ItemGroupHistoryPtr history(std::uint64_t size) {
  return std::make_shared<ZOLMItemGroupHistory>(size, size * 3, Date(700000000.25));
}

std::shared_ptr<FileItem> fileItem(const std::string& path, std::uint64_t size) {
  return std::make_shared<FileItem>(URL::fileURLWithPath(path), size, Date(600000000.5));
}

std::shared_ptr<TypedFileItem> typedItem(const std::string& path, std::uint64_t size, std::uint64_t type) {
  return std::make_shared<TypedFileItem>(URL::fileURLWithPath(path), size, std::nullopt, "", type);
}

// A group of the class, with histories and two children fitting its kind.
template <class Group>
std::shared_ptr<Group> filledGroup(const std::string& name) {
  auto group = std::make_shared<Group>(name, 0, nullptr, name, history(5), history(1));
  group->addItem(fileItem("/Users/u/" + name + "/one file.txt", 10));
  group->addItem(fileItem("/Users/u/" + name + "/two", kHugeSize));
  return group;
}

struct Case {
  std::string className;
  std::vector<std::string> classChain;
  std::set<std::string> keys;
  // Archives a fresh sample; gives its bytes and a check of the decoded root.
  std::function<std::pair<Data, std::function<void(const Data&)>>()> run;
};

const std::set<std::string> kGroupKeys{"scanningHistory", "cleaningHistory", "identifier", "items", "name", "size"};
const std::set<std::string> kFileKeys{"url", "identifier", "size", "lastOpened"};

std::set<std::string> plus(std::set<std::string> keys, std::initializer_list<std::string> more) {
  keys.insert(more.begin(), more.end());
  return keys;
}

// A model-item record: archived, unarchived against the item-tree classes,
// and compared field by field, children included.
template <class Record>
Case modelCase(std::vector<std::string> chain, std::set<std::string> keys, std::function<std::shared_ptr<Record>()> make) {
  return Case{chain.front(), chain, std::move(keys), [make] {
                auto record = make();
                auto bytes = RecordArchive::archived(record);
                EXPECT_TRUE(bytes.ok()) << (bytes ? "" : bytes.error().localizedDescription());
                const Value expected = snapshot(record);
                return std::pair<Data, std::function<void(const Data&)>>(
                    bytes ? *bytes : Data{}, [expected](const Data& archive) {
                      auto decoded = RecordArchive::unarchived<IModelItem>(archive, RecordArchive::itemTreeClasses());
                      ASSERT_TRUE(decoded.ok()) << decoded.error().localizedDescription();
                      ASSERT_TRUE(std::dynamic_pointer_cast<Record>(*decoded));
                      EXPECT_EQ(snapshot(*decoded), expected);
                    });
              }};
}

// A value record: compared with ==.
template <class Record>
Case valueCase(std::set<std::string> keys, std::function<Record()> make) {
  return Case{std::string(Record::kClassName), {std::string(Record::kClassName), "NSObject"}, std::move(keys), [make] {
                const Record record = make();
                auto bytes = RecordArchive::archived(record);
                EXPECT_TRUE(bytes.ok()) << (bytes ? "" : bytes.error().localizedDescription());
                return std::pair<Data, std::function<void(const Data&)>>(
                    bytes ? *bytes : Data{}, [record](const Data& archive) {
                      auto decoded = RecordArchive::unarchived<Record>(archive);
                      ASSERT_TRUE(decoded.ok()) << decoded.error().localizedDescription();
                      EXPECT_TRUE(**decoded == record);
                    });
              }};
}

template <class Group>
Case groupCase(std::vector<std::string> chain) {
  return modelCase<Group>(std::move(chain), kGroupKeys, [] { return filledGroup<Group>(std::string(Group::kClassName)); });
}

std::vector<Case> allCases() {
  const std::vector<std::string> group{"ItemGroup", "NSObject"};
  const auto under = [](std::vector<std::string> chain, std::initializer_list<std::string> names) {
    chain.insert(chain.begin(), names);
    return chain;
  };
  const auto fileGroup = under(group, {"FileRepresentableGroup"});
  const auto typedGroup = under(fileGroup, {"FileTypedGroup"});
  const auto languages = under(group, {"LanguagesGroup"});

  std::vector<Case> cases;
  cases.push_back(Case{"ZOLMItemGroupHistory", {"ZOLMItemGroupHistory", "NSObject"}, {"lastDate", "size", "total"}, [] {
                         auto record = std::make_shared<ZOLMItemGroupHistory>(kHugeSize, 12, Date(1.5));
                         auto bytes = RecordArchive::archived(record);
                         EXPECT_TRUE(bytes.ok()) << (bytes ? "" : bytes.error().localizedDescription());
                         return std::pair<Data, std::function<void(const Data&)>>(
                             bytes ? *bytes : Data{}, [record](const Data& archive) {
                               auto decoded = RecordArchive::unarchived<ZOLMItemGroupHistory>(archive);
                               ASSERT_TRUE(decoded.ok()) << decoded.error().localizedDescription();
                               EXPECT_EQ(snapshot(*decoded), snapshot(record));
                             });
                       }});
  cases.push_back(modelCase<FileItem>({"FileItem", "NSObject"}, kFileKeys,
                                      [] { return fileItem("/Users/u/Library/Caches/a b%.txt", kHugeSize); }));
  cases.push_back(modelCase<TypedFileItem>({"TypedFileItem", "FileItem", "NSObject"}, plus(kFileKeys, {"fileType"}),
                                           [] { return typedItem("/Users/u/Movies/m.mov", 77, 2); }));
  cases.push_back(modelCase<BigFileItem>({"BigFileItem", "TypedFileItem", "FileItem", "NSObject"},
                                         plus(kFileKeys, {"fileType"}), [] {
                                           return std::make_shared<BigFileItem>(URL::fileURLWithPath("/big.iso"),
                                                                                600000000, Date(-5), "", 8);
                                         }));
  cases.push_back(modelCase<MemoryItem>({"MemoryItem", "NSObject"}, {"size", "installedMemory", "identifier", "name"},
                                        [] { return std::make_shared<MemoryItem>(1024, kHugeSize, "ram", "Memory"); }));
  cases.push_back(groupCase<ItemGroup>(group));
  cases.push_back(modelCase<MemoryGroup>(under(group, {"MemoryGroup"}), kGroupKeys, [] {
    auto memory = std::make_shared<MemoryGroup>("memory", 0, nullptr, "memory", nullptr, nullptr);
    memory->addItem(std::make_shared<MemoryItem>(5, 50, "m", "Memory"));
    return memory;
  }));
  cases.push_back(modelCase<ApplicationsGroup>(under(group, {"ApplicationsGroup"}), kGroupKeys, [] {
    auto apps = std::make_shared<ApplicationsGroup>("applications", 0, nullptr, "", history(2), nullptr);
    auto app = std::make_shared<ApplicationItem>(URL::fileURLWithPath("/Applications/Nope.app", true), 0, nullptr, "",
                                                 nullptr, nullptr, URL::fileURLWithPath("/icons/nope.icns"));
    app->addItem(fileItem("/Users/u/Library/Preferences/nope.plist", 4));
    apps->addItem(app);
    return apps;
  }));
  cases.push_back(modelCase<DuplicatesGroup>(under(group, {"DuplicatesGroup"}), plus(kGroupKeys, {"scanningURLs"}), [] {
    auto duplicates = std::make_shared<DuplicatesGroup>("duplicates", 0, nullptr, "", nullptr, history(9));
    duplicates->setScanningURLs(std::vector<URL>{URL::fileURLWithPath("/Users/u", true),
                                                 URL::fileURLWithPath("/Volumes/Big Disk", true)});
    auto set = std::make_shared<DuplicateItem>("d", 0, nullptr, "", nullptr, nullptr, Data{0xde, 0xad, 0xbe, 0xef});
    set->addItem(typedItem("/Users/u/a.jpg", 3, 4));
    duplicates->addItem(set);
    return duplicates;
  }));
  cases.push_back(modelCase<DuplicateItem>(under(group, {"DuplicateItem"}), plus(kGroupKeys, {"storedHash"}), [] {
    auto set = std::make_shared<DuplicateItem>("d", 0, nullptr, "", history(1), nullptr, Data(32, 0x5a));
    set->setItems(std::make_shared<ModelItemOrderedSet>(
        std::vector<ModelItemPtr>{typedItem("/a/1.jpg", 3, 4), typedItem("/b/1.jpg", 3, 4)}));
    return set;
  }));
  cases.push_back(modelCase<LanguagesGroup>(languages, kGroupKeys, [] {
    auto group = std::make_shared<LanguagesGroup>("languages", 0, nullptr, "", nullptr, nullptr);
    auto french = std::make_shared<LanguageItem>("fr", 0, nullptr, "fr", nullptr, nullptr);
    french->addItem(fileItem("/Applications/A.app/Contents/Resources/fr.lproj", 20));
    group->addItem(french);
    group->addItem(std::make_shared<LanguageItem>("de", 7, nullptr, "de", nullptr, nullptr));
    return group;
  }));
  cases.push_back(modelCase<SystemLanguagesGroup>(under(languages, {"SystemLanguagesGroup"}), kGroupKeys, [] {
    auto group = std::make_shared<SystemLanguagesGroup>("systemLanguages", 0, nullptr, "", nullptr, nullptr);
    group->addItem(std::make_shared<LanguageItem>("pt BR", 7, nullptr, "", nullptr, nullptr));
    return group;
  }));
  cases.push_back(modelCase<ApplicationsLanguagesGroup>(under(languages, {"ApplicationsLanguagesGroup"}), kGroupKeys, [] {
    return std::make_shared<ApplicationsLanguagesGroup>("applicationsLanguages", 3, nullptr, "", nullptr, nullptr);
  }));
  cases.push_back(groupCase<FileRepresentableGroup>(fileGroup));
  cases.push_back(groupCase<FileTypedGroup>(typedGroup));
  cases.push_back(modelCase<BigFilesGroup>(under(typedGroup, {"BigFilesGroup"}), plus(kGroupKeys, {"scanningURLs"}), [] {
    auto big = filledGroup<BigFilesGroup>("bigFiles");
    big->setScanningURLs(std::vector<URL>{URL::fileURLWithPath("/Users/u", true)});
    return big;
  }));
  cases.push_back(groupCase<MailAttachmentsGroup>(under(typedGroup, {"MailAttachmentsGroup"})));
  cases.push_back(modelCase<ApplicationItem>(under(fileGroup, {"ApplicationItem"}),
                                             plus(kGroupKeys, {"lastOpen", "iconURL", "url"}), [] {
                                               return std::make_shared<ApplicationItem>(
                                                   std::string("Renamed"), 99, nullptr, history(3), nullptr,
                                                   URL::fileURLWithPath("/Applications/Tool.app", true), Date(12.0),
                                                   std::nullopt);
                                             }));
  cases.push_back(modelCase<LanguageItem>(under(fileGroup, {"LanguageItem"}), kGroupKeys, [] {
    return filledGroup<LanguageItem>("en GB");
  }));
  cases.push_back(groupCase<ShredderGroup>(under(fileGroup, {"ShredderGroup"})));
  cases.push_back(groupCase<SystemCacheGroup>(under(fileGroup, {"SystemCacheGroup"})));
  cases.push_back(groupCase<SystemLogsGroup>(under(fileGroup, {"SystemLogsGroup"})));
  cases.push_back(groupCase<UserCacheGroup>(under(fileGroup, {"UserCacheGroup"})));
  cases.push_back(groupCase<UserLogsGroup>(under(fileGroup, {"UserLogsGroup"})));
  cases.push_back(groupCase<TrashBinGroup>(under(fileGroup, {"TrashBinGroup"})));
  cases.push_back(groupCase<TemporaryFilesGroup>(under(fileGroup, {"TemporaryFilesGroup"})));

  const std::set<std::string> preferenceKeys{
      "updatesCheckFrequency",       "shouldDownloadUpdatesInBackground",   "lastUpdateCheckTimestamp",
      "shouldMoveDeletedToTrash",    "minTrashSizeToClean",                 "shouldKeepAppIconInMenuBar",
      "shouldStartAppInStartup",     "useZOLToCompletelyRemoveApps",        "startZOLNotificationCenterOnStart",
      "includeInAssistantAndBackgroundScan", "excludeFromDuplicatesSearch", "bigFilesMinSize",
      "bigFilesSearchKinds",         "bigFilesLastOpenMoreThan"};
  cases.push_back(valueCase<ZOLMPreferences>(preferenceKeys, [] { return ZOLMPreferences(); }));
  cases.push_back(valueCase<ZOLMPreferences>(preferenceKeys, [] {
    return ZOLMPreferences(ZOLMUpdatesCheckFrequency::monthly, false, 1234.5, false, kHugeSize, false, true, false, true,
                           {}, {"x"}, kHugeSize, {"Photos"}, std::numeric_limits<std::int64_t>::min());
  }));
  cases.push_back(valueCase<ZOLMTrackingData>(
      {"clientID", "campaignID", "campaignSource", "campaignMedium", "campaignKeyword", "campaignContent",
       "googleAdWordsID", "documentReferrer", "utmDevice", "utmMatchType", "utmAdGroup", "retrieved"},
      [] {
        return ZOLMTrackingData("c", "id", "src", std::nullopt, "kw", "content", "gad", "ref", "dev", std::nullopt, "grp",
                                true);
      }));
  cases.push_back(valueCase<ZOLMApplicationState>({"userID"}, [] { return ZOLMApplicationState("u-1"); }));
  cases.push_back(valueCase<ZOLMApplicationState>({"userID"}, [] { return ZOLMApplicationState(); }));
  cases.push_back(valueCase<ZOLMEvent>({"name", "value", "action", "category"},
                                       [] { return ZOLMEvent("clean", "1024", "done", "cleaning"); }));
  cases.push_back(valueCase<ZOLMUserData>({"userEmail"}, [] { return ZOLMUserData("a@example.com"); }));
  return cases;
}

}  // namespace

TEST(RecordArchive, EveryRecordRoundTripsWithItsClassKeysAndValues) {
  for (const auto& c : allCases()) {
    SCOPED_TRACE(c.className);
    auto [bytes, check] = c.run();
    ASSERT_FALSE(bytes.empty());
    const ArchiveView view(bytes);
    const Value& root = view.root();
    EXPECT_EQ(view.className(root), c.className);
    EXPECT_EQ(view.classChain(root), c.classChain);
    EXPECT_EQ(view.keys(root), c.keys);
    check(bytes);
  }
}

TEST(RecordArchive, WritesSizesAsNumberObjectsAndContainersAsMutableFoundationClasses) {
  auto group = filledGroup<UserCacheGroup>("userCache");
  auto archive = RecordArchive::archived(std::static_pointer_cast<ItemGroup>(group));
  ASSERT_TRUE(archive.ok()) << archive.error().localizedDescription();
  const ArchiveView view(*archive);
  const Value& root = view.root();
  ASSERT_TRUE(root.find("size")->asUID());
  EXPECT_EQ(view.object(*root.find("size")).asUInt64(), 10 + kHugeSize);
  const Value& items = view.object(*root.find("items"));
  EXPECT_EQ(view.className(items), "NSMutableArray");
  const Value& file = view.object(items.find("NS.objects")->asArray()->at(0));
  EXPECT_EQ(*view.object(*file.find("identifier")).asString(), "/Users/u/userCache/one%20file.txt");
  const Value& url = view.object(*file.find("url"));
  EXPECT_EQ(view.className(url), "NSURL");
  EXPECT_EQ(*view.object(*url.find("NS.relative")).asString(), "file:///Users/u/userCache/one%20file.txt");
  EXPECT_EQ(view.className(view.object(*file.find("lastOpened"))), "NSDate");

  // A typed item's kind is a plain integer in the record itself.
  auto typed = RecordArchive::archived(std::static_pointer_cast<IModelItem>(typedItem("/m.mov", 1, 2)));
  ASSERT_TRUE(typed.ok());
  EXPECT_EQ(ArchiveView(*typed).root().find("fileType")->asInt64(), 2);

  auto set = std::make_shared<DuplicateItem>("d", 0, nullptr, "", nullptr, nullptr, Data{1});
  set->addItem(typedItem("/a", 1, 4));
  auto setArchive = RecordArchive::archived(std::static_pointer_cast<ItemGroup>(set));
  ASSERT_TRUE(setArchive.ok());
  const ArchiveView setView(*setArchive);
  EXPECT_EQ(setView.className(setView.object(*setView.root().find("items"))), "NSMutableOrderedSet");

  auto languages = ItemGroup::group(ItemGroupName::systemLanguages);
  languages->addItem(std::make_shared<LanguageItem>("fr", 1, nullptr, "", nullptr, nullptr));
  auto languagesArchive = RecordArchive::archived(languages);
  ASSERT_TRUE(languagesArchive.ok());
  const ArchiveView languagesView(*languagesArchive);
  const Value& dictionary = languagesView.object(*languagesView.root().find("items"));
  EXPECT_EQ(languagesView.className(dictionary), "NSMutableDictionary");
  EXPECT_EQ(*languagesView.object(dictionary.find("NS.keys")->asArray()->at(0)).asString(), "fr");

  // Preferences keep their sizes as plain signed integers.
  auto preferences = RecordArchive::archived(ZOLMPreferences());
  ASSERT_TRUE(preferences.ok());
  EXPECT_EQ(ArchiveView(*preferences).root().find("bigFilesMinSize")->asInt64(), 52422800);
  EXPECT_EQ(ArchiveView(*preferences).root().find("bigFilesLastOpenMoreThan")->asInt64(), -2592000);
}

TEST(RecordArchive, NamesSetOnApplicationsAndDuplicateSetsSurvive) {
  auto app = std::make_shared<ApplicationItem>(URL::fileURLWithPath("/Applications/tool.app", true), 1, nullptr, "",
                                               nullptr, nullptr, std::nullopt);
  app->setApplicationName("Tool Deluxe");
  auto set = std::make_shared<DuplicateItem>("d", 0, nullptr, "", nullptr, nullptr, Data{1});
  set->addItem(typedItem("/x/photo.jpg", 1, 4));
  set->setDuplicateName("Holiday");
  auto archive = RecordArchive::archivedGroups({app, set});
  ASSERT_TRUE(archive.ok());
  auto groups = RecordArchive::unarchivedGroups(*archive);
  ASSERT_TRUE(groups.ok()) << groups.error().localizedDescription();
  EXPECT_EQ(groups->at(0)->name(), "Tool Deluxe");
  EXPECT_EQ(groups->at(1)->name(), "Holiday");
}

TEST(RecordArchive, BigFilesGroupDropsItsScanFiltersButKeepsItsScanningURLs) {
  auto big = std::dynamic_pointer_cast<BigFilesGroup>(ItemGroup::group(ItemGroupName::bigFiles));
  big->setScanningURLs(std::vector<URL>{URL::fileURLWithPath("/Users/u", true)});
  big->setMinFileSizeToScan(100);
  big->setMinLastAccessDate(Date(5));
  big->setFileItemTypes(31);
  auto archive = RecordArchive::archivedGroups({big});
  ASSERT_TRUE(archive.ok());
  auto groups = RecordArchive::unarchivedGroups(*archive);
  ASSERT_TRUE(groups.ok()) << groups.error().localizedDescription();
  ASSERT_EQ(groups->size(), 1u);
  auto decoded = std::dynamic_pointer_cast<BigFilesGroup>(groups->front());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->scanningURLs(), big->scanningURLs());
  EXPECT_EQ(decoded->minFileSizeToScan(), 0u);
  EXPECT_FALSE(decoded->minLastAccessDate());
  EXPECT_EQ(decoded->fileItemTypes(), 0u);
  EXPECT_FALSE(decoded->items());
}

// ---- An archive written by hand, in the layout of the standard keyed archive ----

namespace {

// Builds "$objects" one object at a time, as an archiver from elsewhere would.
class HandArchive {
 public:
  HandArchive() { objects_.emplace_back("$null"); }

  Value add(Value object) {
    objects_.push_back(std::move(object));
    return Value::uid(objects_.size() - 1);
  }
  Value classRef(std::vector<std::string> chain) {
    Value::Array names;
    for (auto& n : chain) names.emplace_back(n);
    return add(Value(Value::Dictionary{{"$classname", Value(chain.front())}, {"$classes", Value(names)}}));
  }
  Value instance(const Value& cls, Value::Dictionary keys) {
    keys["$class"] = cls;
    return add(Value(std::move(keys)));
  }
  Value url(const std::string& text) {
    return instance(classRef({"NSURL", "NSObject"}), {{"NS.base", Value::uid(0)}, {"NS.relative", add(Value(text))}});
  }
  Value date(double seconds) {
    return instance(classRef({"NSDate", "NSObject"}), {{"NS.time", Value(seconds)}});
  }
  Value collection(const char* cls, const char* base, Value::Array refs) {
    return instance(classRef({cls, base, "NSObject"}), {{"NS.objects", Value(std::move(refs))}});
  }
  Data bytes(const Value& root) {
    auto data = platform::PropertyList::toBinary(plist(root));
    EXPECT_TRUE(data.ok());
    return data ? *data : Data{};
  }
  // The same archive as XML, which is read without the binary short cuts.
  Data xml(const Value& root) {
    auto text = platform::PropertyList::toXML(plist(root));
    EXPECT_TRUE(text.ok());
    return text ? Data(text->begin(), text->end()) : Data{};
  }

 private:
  Value plist(const Value& root) const {
    return Value(Value::Dictionary{{"$archiver", Value("NSKeyedArchiver")},
                                   {"$version", Value(100000)},
                                   {"$top", Value(Value::Dictionary{{"root", root}})},
                                   {"$objects", Value(objects_)}});
  }
  Value::Array objects_;
};

// The objects of a request with a trash group (one file, a scanning
// history), a duplicate set in a duplicates group and a memory group.
struct HandFixture {
  HandArchive archive;
  Value root;

  explicit HandFixture(bool withMemory = true) {
    auto& a = archive;
    const Value fileClass = a.classRef({"FileItem", "NSObject"});
    const Value typedClass = a.classRef({"TypedFileItem", "FileItem", "NSObject"});
    const Value historyClass = a.classRef({"ZOLMItemGroupHistory", "NSObject"});

    const Value file = a.instance(fileClass, {{"url", a.url("file:///Users/u/.Trash/old%20file.zip")},
                                              {"identifier", a.add(Value("/Users/u/.Trash/old%20file.zip"))},
                                              {"size", a.add(Value(4096))},
                                              {"lastOpened", a.date(500000000.0)}});
    const Value trashHistory = a.instance(historyClass, {{"lastDate", a.date(600000000.0)},
                                                         {"size", a.add(Value(4096))},
                                                         {"total", a.add(Value(-1))}});
    const Value trash = a.instance(
        a.classRef({"TrashBinGroup", "FileRepresentableGroup", "ItemGroup", "NSObject"}),
        {{"scanningHistory", trashHistory},
         {"cleaningHistory", Value::uid(0)},
         {"identifier", a.add(Value("trashBin"))},
         {"items", a.collection("NSMutableArray", "NSArray", {file})},
         {"name", a.add(Value("trashBin"))},
         {"size", a.add(Value(4096))}});

    Value::Array typedFiles;
    for (const char* path : {"file:///Users/u/a.jpg", "file:///Users/u/copy/a.jpg"}) {
      typedFiles.push_back(a.instance(typedClass, {{"url", a.url(path)},
                                                   {"identifier", a.add(Value(std::string(path).substr(7)))},
                                                   {"size", a.add(Value(10))},
                                                   {"lastOpened", Value::uid(0)},
                                                   {"fileType", Value(4)}}));
    }
    const Value set = a.instance(a.classRef({"DuplicateItem", "ItemGroup", "NSObject"}),
                                 {{"scanningHistory", Value::uid(0)},
                                  {"cleaningHistory", Value::uid(0)},
                                  {"identifier", a.add(Value("<01020304>"))},
                                  {"items", a.collection("NSMutableOrderedSet", "NSOrderedSet", typedFiles)},
                                  {"name", a.add(Value("a"))},
                                  {"size", a.add(Value(20))},
                                  {"storedHash", a.add(Value(Data{1, 2, 3, 4}))}});
    const Value duplicates = a.instance(
        a.classRef({"DuplicatesGroup", "ItemGroup", "NSObject"}),
        {{"scanningHistory", Value::uid(0)},
         {"cleaningHistory", Value::uid(0)},
         {"identifier", a.add(Value("duplicates"))},
         {"items", a.collection("NSMutableArray", "NSArray", {set})},
         {"name", a.add(Value("duplicates"))},
         {"size", a.add(Value(20))},
         {"scanningURLs", a.collection("NSArray", "NSObject", {a.url("file:///Users/u/")})}});

    const Value languageClass = a.classRef({"LanguageItem", "FileRepresentableGroup", "ItemGroup", "NSObject"});
    const Value french = a.instance(languageClass, {{"name", a.add(Value("fr"))},
                                                    {"identifier", a.add(Value("fr"))},
                                                    {"size", a.add(Value(30))},
                                                    {"items", Value::uid(0)}});
    const Value languages = a.instance(
        a.classRef({"SystemLanguagesGroup", "LanguagesGroup", "ItemGroup", "NSObject"}),
        {{"name", a.add(Value("systemLanguages"))},
         {"size", a.add(Value(30))},
         {"items", a.instance(a.classRef({"NSMutableDictionary", "NSDictionary", "NSObject"}),
                              {{"NS.keys", Value(Value::Array{a.add(Value("fr"))})},
                               {"NS.objects", Value(Value::Array{french})}})}});

    Value::Array groups{trash, duplicates, languages};
    if (withMemory) {
      const Value memoryItem = a.instance(a.classRef({"MemoryItem", "NSObject"}),
                                          {{"size", a.add(Value(2048))},
                                           {"installedMemory", a.add(Value(8589934592))},
                                           {"identifier", a.add(Value("memory"))},
                                           {"name", a.add(Value("Memory"))}});
      groups.push_back(a.instance(a.classRef({"MemoryGroup", "ItemGroup", "NSObject"}),
                                  {{"name", a.add(Value("memory"))},
                                   {"size", a.add(Value(2048))},
                                   {"items", a.collection("NSMutableArray", "NSArray", {memoryItem})}}));
    }
    root = a.collection("NSArray", "NSObject", groups);
  }

  Data bytes() { return archive.bytes(root); }
};

}  // namespace

TEST(RecordArchive, DecodesAnArchiveWrittenInTheStandardLayout) {
  HandFixture fixture;
  auto groups = RecordArchive::unarchivedGroups(fixture.bytes());
  ASSERT_TRUE(groups.ok()) << groups.error().localizedDescription();
  ASSERT_EQ(groups->size(), 4u);

  auto trash = std::dynamic_pointer_cast<TrashBinGroup>(groups->at(0));
  ASSERT_TRUE(trash);
  EXPECT_EQ(trash->name(), "trashBin");
  EXPECT_EQ(trash->size(), 4096u);
  ASSERT_TRUE(trash->scanningHistory());
  EXPECT_EQ(trash->scanningHistory()->total(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(trash->scanningHistory()->lastDate(), Date(600000000.0));
  EXPECT_FALSE(trash->cleaningHistory());
  auto file = std::dynamic_pointer_cast<FileItem>(trash->anyItem());
  ASSERT_TRUE(file);
  EXPECT_EQ(file->path(), "/Users/u/.Trash/old file.zip");
  EXPECT_EQ(file->name(), "old file");
  EXPECT_EQ(file->size(), 4096u);
  EXPECT_EQ(file->lastOpenDate(), Date(500000000.0));

  auto duplicates = std::dynamic_pointer_cast<DuplicatesGroup>(groups->at(1));
  ASSERT_TRUE(duplicates);
  EXPECT_EQ(duplicates->scanningURLs(), std::vector<URL>{URL::fileURLWithPath("/Users/u", true)});
  auto set = std::dynamic_pointer_cast<DuplicateItem>(duplicates->anyItem());
  ASSERT_TRUE(set);
  EXPECT_EQ(set->items()->kind(), ModelItemCollectionKind::orderedSet);
  EXPECT_EQ(set->count(), 2u);
  EXPECT_TRUE(set->isValid());
  EXPECT_EQ(set->identifier(), "<01020304>");
  auto typed = std::dynamic_pointer_cast<TypedFileItem>(set->itemForKey(std::size_t{1}));
  ASSERT_TRUE(typed);
  EXPECT_EQ(typed->path(), "/Users/u/copy/a.jpg");
  EXPECT_EQ(typed->fileType(), 4u);
  EXPECT_FALSE(typed->lastOpenDate());

  auto languages = std::dynamic_pointer_cast<SystemLanguagesGroup>(groups->at(2));
  ASSERT_TRUE(languages);
  EXPECT_EQ(languages->items()->kind(), ModelItemCollectionKind::dictionary);
  auto french = std::dynamic_pointer_cast<LanguageItem>(languages->itemForKey(std::string("fr")));
  ASSERT_TRUE(french);
  EXPECT_EQ(french->size(), 30u);
  EXPECT_FALSE(french->items());

  auto memory = std::dynamic_pointer_cast<MemoryGroup>(groups->at(3));
  ASSERT_TRUE(memory);
  auto reading = std::dynamic_pointer_cast<MemoryItem>(memory->anyItem());
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->installedMemorySize(), 8589934592u);
  EXPECT_EQ(reading->name(), "Memory");
}

TEST(RecordArchive, RefusesAGraphHoldingAClassTheListLacks) {
  const std::vector<std::string> tree{"ZOLMItemGroupHistory", "FileItem", "ItemGroup", "MemoryItem"};
  for (const auto& missing : tree) {
    SCOPED_TRACE(missing);
    std::vector<std::string> allowed;
    for (const auto& name : tree) {
      if (name != missing) allowed.push_back(name);
    }
    HandFixture fixture;
    auto groups = RecordArchive::unarchivedGroups(fixture.bytes(), platform::AllowedClasses(allowed));
    EXPECT_FALSE(groups.ok());
  }
  // Without the memory group, the list needs no MemoryItem.
  HandFixture withoutMemory(false);
  EXPECT_TRUE(RecordArchive::unarchivedGroups(withoutMemory.bytes(),
                                              platform::AllowedClasses{"ZOLMItemGroupHistory", "FileItem", "ItemGroup"})
                  .ok());
  // A record of another family is refused where groups are expected.
  auto preferences = RecordArchive::archived(ZOLMPreferences());
  ASSERT_TRUE(preferences.ok());
  EXPECT_FALSE(RecordArchive::unarchived<ItemGroup>(*preferences, RecordArchive::itemTreeClasses()).ok());
}

namespace {

// `levels` levels of groups: each level holds two groups that both hold the
// level below, ending in one file. The archive stores each group once, but
// a walk from the root reaches the file by 2^levels paths.
Data sharedLevels(std::size_t levels) {
  HandArchive a;
  const Value groupClass = a.classRef({"ItemGroup", "NSObject"});
  Value below = a.instance(a.classRef({"FileItem", "NSObject"}),
                           {{"url", a.url("file:///Users/u/a")}, {"size", a.add(Value(1))}});
  for (std::size_t level = 0; level < levels; ++level) {
    Value::Array pair;
    for (int side = 0; side < 2; ++side) {
      pair.push_back(a.instance(groupClass, {{"name", a.add(Value("g"))},
                                             {"items", a.collection("NSMutableArray", "NSArray", {below})}}));
    }
    below = a.instance(groupClass, {{"name", a.add(Value("g"))},
                                    {"items", a.collection("NSMutableArray", "NSArray", pair)}});
  }
  return a.bytes(a.collection("NSArray", "NSObject", {below}));
}

}  // namespace

// Records may be shared, but the decoded groups are walked as a tree: the
// decoder counts every record once per path from the root and stops past a
// budget tied to the archive's size, before a walk could take forever.
TEST(RecordArchive, SharedGroupsCountOncePerPathAndAreBoundedByTheArchiveSize) {
  RecordArchive::registerClasses();
  struct Case {
    std::size_t levels;
    bool decodes;
  } cases[] = {{3, true}, {24, false}, {40, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.levels);
    const Data bytes = sharedLevels(c.levels);
    platform::KeyedUnarchiver unarchiver(bytes);
    unarchiver.setAllowedClassesForGraph(RecordArchive::itemTreeClasses());
    auto groups = unarchiver.decodeArrayForKey<ItemGroup>("root", RecordArchive::itemTreeClasses());
    EXPECT_LE(unarchiver.recordsWalked(), platform::KeyedUnarchiver::recordBudgetFor(bytes.size()));
    auto decoded = RecordArchive::unarchivedGroups(bytes);
    if (!c.decodes) {
      ASSERT_TRUE(unarchiver.error());
      EXPECT_NE(unarchiver.error()->localizedDescription().find("records"), std::string::npos)
          << unarchiver.error()->localizedDescription();
      EXPECT_FALSE(decoded.ok());
      continue;
    }
    ASSERT_FALSE(unarchiver.error()) << unarchiver.error()->localizedDescription();
    ASSERT_TRUE(decoded.ok()) << decoded.error().localizedDescription();
    std::size_t leaves = 0;
    decoded->front()->enumerateLeaves([&](const ModelItemPtr&, bool&) { ++leaves; });
    EXPECT_EQ(leaves, 8u);
    // The top group; per level below it a pair and the group they share,
    // each reached by twice the paths of the level above; the file by eight.
    EXPECT_EQ(unarchiver.recordsWalked(), 1u + (2 + 2) + (4 + 4) + (8 + 8));
  }
}

// Names read from archives any user can send come out exactly as stored or
// the archive is refused: a key holding U+0000 (which once aborted the
// reader) fails the decode.
TEST(RecordArchive, AnArchiveWithAKeyHoldingNulIsRefused) {
  platform::BinaryPropertyListBuilder b;
  using Index = platform::BinaryPropertyListBuilder::Index;
  const Index arrayClass = b.dictionary(
      std::vector<Index>{b.string("$classname"), b.string("$classes")}.data(),
      std::vector<Index>{b.string("NSArray"), b.array({b.string("NSArray"), b.string("NSObject")})}.data(), 2);
  const Index root = b.dictionary(std::vector<Index>{b.string("$class"), b.string(std::string("\xC3\xA9\0", 3))}.data(),
                                  std::vector<Index>{b.uid(2), b.integer(1)}.data(), 2);
  const Index objects = b.array({b.string("$null"), root, arrayClass});
  const Index top = b.dictionary(std::vector<Index>{b.string("root")}.data(), std::vector<Index>{b.uid(1)}.data(), 1);
  const Index plist = b.dictionary(
      std::vector<Index>{b.string("$archiver"), b.string("$version"), b.string("$top"), b.string("$objects")}.data(),
      std::vector<Index>{b.string("NSKeyedArchiver"), b.integer(100000), top, objects}.data(), 4);
  const Data bytes = b.finish(plist);
  auto groups = RecordArchive::unarchivedGroups(bytes);
  ASSERT_FALSE(groups.ok());
  EXPECT_EQ(groups.error().code, platform::CocoaError::coderReadCorrupt);
  EXPECT_NE(groups.error().localizedDescription().find("NUL"), std::string::npos)
      << groups.error().localizedDescription();
}

// A binary archive's URLs and dates are read without building their
// objects when they have the usual fields; every other shape takes the
// general road. Each shape must come out of the binary archive exactly as
// out of the same archive in XML: the same file, or the same refusal.
TEST(RecordArchive, URLsAndDatesReadTheSameFromBinaryAndXML) {
  enum class Part { url, date };
  struct Case {
    const char* name;
    Part part;
    const char* cls;
    std::function<Value::Dictionary(HandArchive&)> fields;
    bool read;
  } cases[] = {
      {"usual URL", Part::url, "NSURL",
       [](HandArchive& a) { return Value::Dictionary{{"NS.base", Value::uid(0)}, {"NS.relative", a.add(Value("file:///u/a"))}}; }, true},
      {"URL without a base", Part::url, "NSURL",
       [](HandArchive& a) { return Value::Dictionary{{"NS.relative", a.add(Value("file:///u/a"))}}; }, true},
      {"URL with another field", Part::url, "NSURL",
       [](HandArchive& a) {
         return Value::Dictionary{{"NS.base", Value::uid(0)}, {"NS.relative", a.add(Value("file:///u/a"))}, {"x", Value(1)}};
       }, true},
      {"URL relative to another", Part::url, "NSURL",
       [](HandArchive& a) {
         const Value base = a.add(Value("file:///u/"));
         return Value::Dictionary{{"NS.base", base}, {"NS.relative", a.add(Value("a"))}};
       }, false},
      {"URL with a text base", Part::url, "NSURL",
       [](HandArchive& a) { return Value::Dictionary{{"NS.base", Value("x")}, {"NS.relative", a.add(Value("file:///u/a"))}}; }, false},
      {"URL with its text in place", Part::url, "NSURL",
       [](HandArchive&) { return Value::Dictionary{{"NS.base", Value::uid(0)}, {"NS.relative", Value("file:///u/a")}}; }, false},
      {"URL with a null relative", Part::url, "NSURL",
       [](HandArchive&) { return Value::Dictionary{{"NS.base", Value::uid(0)}, {"NS.relative", Value::uid(0)}}; }, false},
      {"URL of another class", Part::url, "NSString",
       [](HandArchive& a) { return Value::Dictionary{{"NS.base", Value::uid(0)}, {"NS.relative", a.add(Value("file:///u/a"))}}; }, false},
      {"usual date", Part::date, "NSDate", [](HandArchive&) { return Value::Dictionary{{"NS.time", Value(1.5)}}; }, true},
      {"date in whole seconds", Part::date, "NSDate", [](HandArchive&) { return Value::Dictionary{{"NS.time", Value(5)}}; }, true},
      {"date with another field", Part::date, "NSDate",
       [](HandArchive&) { return Value::Dictionary{{"NS.time", Value(1.5)}, {"x", Value(1)}}; }, true},
      {"date of text", Part::date, "NSDate", [](HandArchive&) { return Value::Dictionary{{"NS.time", Value("1.5")}}; }, false},
      {"date of a large array", Part::date, "NSDate",
       [](HandArchive&) { return Value::Dictionary{{"NS.time", Value(Value::Array(64, Value(1)))}}; }, false},
      {"date without a time", Part::date, "NSDate", [](HandArchive&) { return Value::Dictionary{}; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HandArchive a;
    const Value fileClass = a.classRef({"FileItem", "NSObject"});
    const Value shaped = a.instance(a.classRef({c.cls, "NSObject"}), c.fields(a));
    const Value file = a.instance(fileClass, {{"url", c.part == Part::url ? shaped : a.url("file:///u/a")},
                                              {"size", a.add(Value(7))},
                                              {"lastOpened", c.part == Part::date ? shaped : a.date(2.0)}});
    auto binary = RecordArchive::unarchived<FileItem>(a.bytes(file));
    auto xml = RecordArchive::unarchived<FileItem>(a.xml(file));
    ASSERT_EQ(binary.ok(), c.read) << (binary ? "read" : binary.error().localizedDescription());
    ASSERT_EQ(xml.ok(), c.read) << (xml ? "read" : xml.error().localizedDescription());
    if (c.read) {
      EXPECT_EQ((*binary)->url(), (*xml)->url());
      EXPECT_EQ((*binary)->lastOpenDate(), (*xml)->lastOpenDate());
      EXPECT_EQ((*binary)->path(), "/u/a");
    } else {
      EXPECT_EQ(binary.error().localizedDescription(), xml.error().localizedDescription());
    }
  }
}

// A group's items in a collection with more fields than the usual two take
// the general road in a binary archive, and read as from XML.
TEST(RecordArchive, ACollectionWithMoreFieldsReadsTheSameFromBinaryAndXML) {
  HandArchive a;
  const Value fileClass = a.classRef({"FileItem", "NSObject"});
  Value::Array files;
  for (const char* path : {"file:///u/a", "file:///u/b"})
    files.push_back(a.instance(fileClass, {{"url", a.url(path)}, {"size", a.add(Value(3))}}));
  Value::Dictionary items{{"NS.objects", Value(files)}};
  for (const char* extra : {"x", "y", "z", "w"}) items[extra] = Value(1);
  const Value group = a.instance(a.classRef({"UserCacheGroup", "ItemGroup", "NSObject"}),
                                 {{"name", a.add(Value("userCache"))},
                                  {"identifier", a.add(Value("userCache"))},
                                  {"size", a.add(Value(6))},
                                  {"items", a.instance(a.classRef({"NSMutableArray", "NSArray", "NSObject"}), items)}});
  const Value root = a.collection("NSArray", "NSObject", {group});
  for (const Data& bytes : {a.bytes(root), a.xml(root)}) {
    auto groups = RecordArchive::unarchivedGroups(bytes);
    ASSERT_TRUE(groups.ok()) << groups.error().localizedDescription();
    ASSERT_EQ(groups->size(), 1u);
    ASSERT_TRUE(groups->front()->items());
    EXPECT_EQ(groups->front()->items()->count(), 2u);
  }
}

TEST(RecordArchive, MissingKeysReadAsEmptyOrFailTheRecordsThatNeedThem) {
  HandArchive a;
  const Value preferencesClass = a.classRef({"ZOLMPreferences", "NSObject"});
  const Value preferences = a.instance(preferencesClass, {{"shouldMoveDeletedToTrash", Value(true)}});
  auto decoded = RecordArchive::unarchived<ZOLMPreferences>(a.bytes(preferences));
  ASSERT_TRUE(decoded.ok()) << decoded.error().localizedDescription();
  EXPECT_EQ((*decoded)->bigFilesMinSize(), 0u) << "a missing key reads as 0, not as the default";
  EXPECT_TRUE((*decoded)->shouldMoveDeletedToTrash());
  EXPECT_FALSE((*decoded)->shouldDownloadUpdatesInBackground());
  EXPECT_TRUE((*decoded)->includeInAssistantAndBackgroundScan().empty());

  HandArchive e;
  const Value event = e.instance(e.classRef({"ZOLMEvent", "NSObject"}), {{"name", e.add(Value("n"))},
                                                                        {"value", e.add(Value("v"))},
                                                                        {"action", e.add(Value("a"))}});
  EXPECT_FALSE(RecordArchive::unarchived<ZOLMEvent>(e.bytes(event)).ok());

  HandArchive u;
  const Value user = u.instance(u.classRef({"ZOLMUserData", "NSObject"}), {});
  EXPECT_FALSE(RecordArchive::unarchived<ZOLMUserData>(u.bytes(user)).ok());

  HandArchive t;
  const Value tracking = t.instance(t.classRef({"ZOLMTrackingData", "NSObject"}), {{"utmDevice", t.add(Value("d"))}});
  auto trackingData = RecordArchive::unarchived<ZOLMTrackingData>(t.bytes(tracking));
  ASSERT_TRUE(trackingData.ok());
  EXPECT_EQ((*trackingData)->utmDevice(), "d");
  EXPECT_FALSE((*trackingData)->clientID());
  EXPECT_FALSE((*trackingData)->retrieved());

  // A file item without a file URL stands for nothing on disk.
  for (const Value& url : {Value::uid(0), Value()}) {
    HandArchive f;
    Value::Dictionary keys{{"size", f.add(Value(1))}};
    if (!url.isNull()) keys["url"] = url;
    const Value item = f.instance(f.classRef({"FileItem", "NSObject"}), keys);
    EXPECT_FALSE(RecordArchive::unarchived<IModelItem>(f.bytes(item), RecordArchive::itemTreeClasses()).ok());
  }
  HandArchive w;
  const Value web = w.instance(w.classRef({"FileItem", "NSObject"}), {{"url", w.url("https://example.com/x")}});
  EXPECT_FALSE(RecordArchive::unarchived<IModelItem>(w.bytes(web), RecordArchive::itemTreeClasses()).ok());
}
