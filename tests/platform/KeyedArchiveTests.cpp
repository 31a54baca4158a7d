#include <gtest/gtest.h>

#include <limits>

#include "RunTool.h"
#include "platform/BinaryPropertyListBuilder.h"
#include "platform/CocoaError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"
#include "support/TempRoot.h"

using namespace vozi::platform;

namespace {

// Record classes shaped like the ones higher layers archive: a base with
// every kind of value, two subclasses, and one unrelated class.

AllowedClasses gChildClasses{"TestEntry"};  // what a folder accepts as children

struct Entry {
  Entry() = default;
  explicit Entry(KeyedUnarchiver& u)
      : name(u.decodeStringForKey("name").value_or("")),
        note(u.decodeStringForKey("note")),
        size(u.decodeUInt64ForKey("size")),
        count(u.decodeInt64ForKey("count")),
        hidden(u.decodeBoolForKey("hidden")),
        ratio(u.decodeDoubleForKey("ratio")),
        modified(u.decodeDateForKey("modified")),
        url(u.decodeURLForKey("url")),
        blob(u.decodeDataForKey("blob")),
        dollar(u.decodeInt64ForKey("$class")) {}
  virtual ~Entry() = default;
  virtual void encode(KeyedArchiver& a) const {
    a.encode("name", name);
    a.encode("note", note);
    a.encode("size", size);
    a.encode("count", count);
    a.encode("hidden", hidden);
    a.encode("ratio", ratio);
    a.encodeDate("modified", modified);
    a.encodeURL("url", url);
    a.encode("blob", blob);
    if (dollar) a.encode("$class", dollar);  // a caller key that looks like the archive's own
  }

  std::string name;
  std::optional<std::string> note;
  std::uint64_t size = 0;
  std::int64_t count = 0;
  bool hidden = false;
  double ratio = 0;
  std::optional<Date> modified;
  std::optional<std::string> url;
  std::optional<Data> blob;
  std::int64_t dollar = 0;
};

struct FileEntry : Entry {
  FileEntry() = default;
  explicit FileEntry(KeyedUnarchiver& u)
      : Entry(u),
        tags(u.decodeStringArrayForKey("tags").value_or(std::vector<std::string>{})),
        attributes(u.decodePropertyListForKey("attributes")) {}
  void encode(KeyedArchiver& a) const override {
    Entry::encode(a);
    a.encode("tags", tags);
    if (attributes) a.encodePropertyList("attributes", *attributes);
  }
  std::vector<std::string> tags;
  std::optional<Value> attributes;
};

struct Folder : Entry {
  Folder() = default;
  explicit Folder(KeyedUnarchiver& u)
      : Entry(u),
        children(u.decodeArrayForKey<Entry>("children", gChildClasses).value_or(std::vector<std::shared_ptr<Entry>>{})),
        ordered(u.decodeOrderedSetForKey<Entry>("ordered", gChildClasses)),
        byName(u.decodeDictionaryForKey<Entry>("byName", gChildClasses)),
        favorite(u.decodeObjectForKey<Entry>("favorite", gChildClasses)) {}
  void encode(KeyedArchiver& a) const override {
    Entry::encode(a);
    a.encodeArray("children", children, true);
    if (ordered) a.encodeOrderedSet("ordered", *ordered);
    if (byName) a.encodeDictionary("byName", *byName);
    a.encodeObject("favorite", favorite);
  }
  std::vector<std::shared_ptr<Entry>> children;
  std::optional<std::vector<std::shared_ptr<Entry>>> ordered;
  std::optional<std::map<std::string, std::shared_ptr<Entry>>> byName;
  std::shared_ptr<Entry> favorite;
};

struct Unrelated {
  Unrelated() = default;
  explicit Unrelated(KeyedUnarchiver&) {}
  virtual ~Unrelated() = default;
  void encode(KeyedArchiver&) const {}
};

struct Shape {
  virtual ~Shape() = default;
  virtual void encode(KeyedArchiver& a) const = 0;
};

struct Circle : Shape {
  Circle() = default;
  explicit Circle(KeyedUnarchiver& u) : radius(u.decodeDoubleForKey("radius")) {}
  void encode(KeyedArchiver& a) const override { a.encode("radius", radius); }
  double radius = 0;
};

struct Unregistered {
  virtual ~Unregistered() = default;
};

// An interface two unrelated record classes implement.
struct Item {
  virtual ~Item() = default;
};

struct Note : Item {
  Note() = default;
  explicit Note(KeyedUnarchiver& u) : text(u.decodeStringForKey("text").value_or("")) {}
  void encode(KeyedArchiver& a) const { a.encode("text", text); }
  std::string text;
};

struct Link : Item {
  Link() = default;
  explicit Link(KeyedUnarchiver& u) : targets(u.decodeURLArrayForKey("targets")) {}
  void encode(KeyedArchiver& a) const {
    if (targets) a.encodeURLArray("targets", *targets);
  }
  std::optional<std::vector<std::string>> targets;
};

void registerTestClasses() {
  auto& registry = ArchiveClassRegistry::shared();
  ASSERT_TRUE(registry.registerClass<Entry>("TestEntry"));
  ASSERT_TRUE((registry.registerClass<FileEntry, Entry>("TestFileEntry")));
  ASSERT_TRUE((registry.registerClass<Folder, Entry>("TestFolder")));
  ASSERT_TRUE(registry.registerClass<Unrelated>("TestUnrelated"));
  ASSERT_TRUE(registry.registerAbstractClass<Shape>("TestShape"));
  ASSERT_TRUE((registry.registerClass<Circle, Shape>("TestCircle")));
  ASSERT_TRUE(registry.registerInterface<Item>());
  ASSERT_TRUE((registry.registerClass<Note, Item>("TestNote")));
  ASSERT_TRUE((registry.registerClass<Link, Item>("TestLink")));
}

class KeyedArchive : public ::testing::Test {
 protected:
  void SetUp() override { registerTestClasses(); }
  void TearDown() override { gChildClasses = AllowedClasses{"TestEntry"}; }
};

std::shared_ptr<FileEntry> makeFile(const std::string& name) {
  auto file = std::make_shared<FileEntry>();
  file->name = name;
  file->size = 18446744073709551000ull;
  file->count = -42;
  file->hidden = true;
  file->ratio = 0.1;
  file->modified = Date(712345678.123456789);
  file->url = "/Users/bob/Library/Caches/" + name;
  file->blob = Data{0, 1, 2, 0xFF};
  file->note = "naïve ✓";
  file->tags = {"red", "", "$null"};
  file->attributes = Value(Value::Dictionary{
      {"n", Value(3)},
      {"big", Value(std::uint64_t{18446744073709551615ull})},
      {"r", Value(2.5)},
      {"b", Value(false)},
      {"s", Value("text")},
      {"d", Value(Data{9})},
      {"t", Value(Date(-1.25))},
      {"list", Value(Value::Array{Value(1), Value(Value::Dictionary{{"k", Value("v")}})})},
  });
  return file;
}

std::shared_ptr<Folder> makeTree() {
  auto folder = std::make_shared<Folder>();
  folder->name = "Caches";
  folder->dollar = 7;
  auto a = makeFile("a.txt");
  auto b = makeFile("b.txt");
  auto inner = std::make_shared<Folder>();
  inner->name = "inner";
  inner->children = {std::make_shared<Entry>()};
  folder->children = {a, b, inner};
  folder->ordered = std::vector<std::shared_ptr<Entry>>{b, a, b};
  folder->byName = std::map<std::string, std::shared_ptr<Entry>>{{"a.txt", a}, {"inner", inner}};
  folder->favorite = a;
  return folder;
}

Data archiveOf(Value::Array objects, Value::Dictionary top = {{"root", Value::uid(1)}}) {
  Value root(Value::Dictionary{{"$archiver", Value("NSKeyedArchiver")},
                               {"$version", Value(100000)},
                               {"$top", Value(std::move(top))},
                               {"$objects", Value(std::move(objects))}});
  return *PropertyList::toBinary(root);
}

// An archive whose root record holds `key` twice, with two different
// values: a dictionary of values cannot say that, so the bytes are built
// object by object.
Data archiveWithKeyTwice(const std::string& key) {
  using Index = BinaryPropertyListBuilder::Index;
  BinaryPropertyListBuilder builder;
  const auto dictionary = [&](std::vector<Index> keys, std::vector<Index> values) {
    return builder.dictionary(keys.data(), values.data(), keys.size());
  };
  const Index record = dictionary({builder.string("$class"), builder.string(key), builder.string(key)},
                                  {builder.uid(2), builder.uid(3), builder.uid(4)});
  const Index entryClass =
      dictionary({builder.string("$classname"), builder.string("$classes")},
                 {builder.string("TestEntry"), builder.array({builder.string("TestEntry"), builder.string("NSObject")})});
  const Index objects =
      builder.array({builder.string("$null"), record, entryClass, builder.string("a"), builder.string("b")});
  const Index top = dictionary({builder.string("root")}, {builder.uid(1)});
  return builder.finish(dictionary(
      {builder.string("$archiver"), builder.string("$version"), builder.string("$top"), builder.string("$objects")},
      {builder.string("NSKeyedArchiver"), builder.integer(100000), top, objects}));
}

Value classDescription(const std::string& name, std::vector<std::string> chain) {
  Value::Array classes;
  for (auto& c : chain) classes.emplace_back(c);
  return Value(Value::Dictionary{{"$classname", Value(name)}, {"$classes", Value(std::move(classes))}});
}

Value object(std::uint64_t classUID, Value::Dictionary keys = {}) {
  keys["$class"] = Value::uid(classUID);
  return Value(std::move(keys));
}

}  // namespace

TEST_F(KeyedArchive, RoundTripsEveryKindOfValue) {
  const auto tree = makeTree();
  auto bytes = KeyedArchiver::archivedData(tree);
  ASSERT_TRUE(bytes) << bytes.error().localizedDescription();
  auto decoded = KeyedUnarchiver::unarchivedObject<Entry>(*bytes, {"TestEntry"});
  ASSERT_TRUE(decoded) << decoded.error().localizedDescription();
  auto folder = std::dynamic_pointer_cast<Folder>(*decoded);
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->name, "Caches");
  EXPECT_EQ(folder->dollar, 7);
  EXPECT_FALSE(folder->note.has_value());
  EXPECT_FALSE(folder->modified.has_value());
  ASSERT_EQ(folder->children.size(), 3u);

  auto a = std::dynamic_pointer_cast<FileEntry>(folder->children[0]);
  ASSERT_TRUE(a);
  const auto expected = makeFile("a.txt");
  EXPECT_EQ(a->name, expected->name);
  EXPECT_EQ(a->note, expected->note);
  EXPECT_EQ(a->size, expected->size);
  EXPECT_EQ(a->count, expected->count);
  EXPECT_EQ(a->hidden, expected->hidden);
  EXPECT_EQ(a->ratio, expected->ratio);
  EXPECT_EQ(a->modified, expected->modified);
  EXPECT_EQ(a->url, expected->url);
  EXPECT_EQ(a->blob, expected->blob);
  EXPECT_EQ(a->tags, expected->tags);
  ASSERT_TRUE(a->attributes);
  EXPECT_EQ(*a->attributes, *expected->attributes);
  EXPECT_TRUE(a->attributes->find("big")->isUnsigned());
  EXPECT_TRUE(a->attributes->find("t")->isDate());

  auto inner = std::dynamic_pointer_cast<Folder>(folder->children[2]);
  ASSERT_TRUE(inner);
  ASSERT_EQ(inner->children.size(), 1u);
  EXPECT_EQ(typeid(*inner->children[0]), typeid(Entry));
  EXPECT_FALSE(inner->ordered.has_value());

  // Shared references come back as one object; the ordered set keeps first places.
  EXPECT_EQ(folder->favorite, folder->children[0]);
  ASSERT_TRUE(folder->ordered);
  ASSERT_EQ(folder->ordered->size(), 2u);
  EXPECT_EQ((*folder->ordered)[0], folder->children[1]);
  EXPECT_EQ((*folder->ordered)[1], folder->children[0]);
  ASSERT_TRUE(folder->byName);
  EXPECT_EQ(folder->byName->at("a.txt"), folder->children[0]);
  EXPECT_EQ(folder->byName->at("inner"), folder->children[2]);
}

TEST_F(KeyedArchive, WritesTheStandardLayout) {
  auto bytes = KeyedArchiver::archivedData(makeTree());
  ASSERT_TRUE(bytes);
  auto plist = PropertyList::fromBinary(*bytes);
  ASSERT_TRUE(plist);
  EXPECT_EQ(*plist->find("$archiver"), Value("NSKeyedArchiver"));
  EXPECT_EQ(*plist->find("$version"), Value(100000));
  const auto rootUID = plist->find("$top")->find("root")->asUID();
  ASSERT_TRUE(rootUID);
  const auto& objects = *plist->find("$objects")->asArray();
  EXPECT_EQ(objects[0], Value("$null"));

  auto classOf = [&](const Value& instance) -> const Value& {
    return objects.at(*instance.find("$class")->asUID());
  };
  const Value& root = objects.at(*rootUID);
  EXPECT_EQ(*classOf(root).find("$classname"), Value("TestFolder"));
  EXPECT_EQ(*classOf(root).find("$classes"),
            Value(Value::Array{Value("TestFolder"), Value("TestEntry"), Value("NSObject")}));
  EXPECT_EQ(*root.find("$$class"), Value(7));  // the caller's "$class", escaped
  EXPECT_EQ(objects.at(*root.find("name")->asUID()), Value("Caches"));
  EXPECT_EQ(*root.find("note"), Value::uid(0));  // an absent optional is $null
  const Value& children = objects.at(*root.find("children")->asUID());
  EXPECT_EQ(*classOf(children).find("$classes"),
            Value(Value::Array{Value("NSMutableArray"), Value("NSArray"), Value("NSObject")}));
  ASSERT_EQ(children.find("NS.objects")->asArray()->size(), 3u);

  // Each record is written once: two file entries, though a.txt is referenced four times.
  int fileEntries = 0;
  for (const auto& o : objects) {
    if (o.find("$class") && *classOf(o).find("$classname") == Value("TestFileEntry")) ++fileEntries;
  }
  EXPECT_EQ(fileEntries, 2);
  const Value& a = objects.at(*children.find("NS.objects")->asArray()->at(0).asUID());
  EXPECT_EQ(*root.find("favorite"), children.find("NS.objects")->asArray()->at(0));
  EXPECT_EQ(*a.find("size"), Value(std::int64_t{-616}));  // 18446744073709551000 as its signed bits
  EXPECT_EQ(*a.find("count"), Value(-42));
  EXPECT_EQ(*a.find("hidden"), Value(true));
  const Value& date = objects.at(*a.find("modified")->asUID());
  EXPECT_EQ(*classOf(date).find("$classname"), Value("NSDate"));
  EXPECT_EQ(*date.find("NS.time"), Value(712345678.123456789));
  const Value& url = objects.at(*a.find("url")->asUID());
  EXPECT_EQ(*classOf(url).find("$classname"), Value("NSURL"));
  EXPECT_EQ(*url.find("NS.base"), Value::uid(0));
  EXPECT_EQ(objects.at(*url.find("NS.relative")->asUID()), Value("/Users/bob/Library/Caches/a.txt"));
  EXPECT_TRUE(objects.at(*a.find("blob")->asUID()).isData());
  const Value& byName = objects.at(*root.find("byName")->asUID());
  EXPECT_EQ(*classOf(byName).find("$classname"), Value("NSDictionary"));
  EXPECT_EQ(byName.find("NS.keys")->asArray()->size(), 2u);
  const Value& ordered = objects.at(*root.find("ordered")->asUID());
  EXPECT_EQ(*classOf(ordered).find("$classname"), Value("NSOrderedSet"));
}

TEST_F(KeyedArchive, PlistutilReadsTheArchive) {
  vozi::test::TempRoot root;
  auto bytes = KeyedArchiver::archivedData(makeTree());
  ASSERT_TRUE(bytes);
  const std::string path = root / "/archive.bin";
  ASSERT_TRUE(PropertyList::writeFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())));
  auto xml = vozi::test::runTool({"/usr/bin/plistutil", "-i", path});
  ASSERT_TRUE(xml.has_value());
  for (const char* expected : {"<key>$archiver</key>", "<string>NSKeyedArchiver</string>", "<key>$objects</key>",
                               "<key>$top</key>", "<key>root</key>", "<key>CF$UID</key>", "<string>$null</string>",
                               "<string>TestFileEntry</string>", "<key>NS.time</key>"}) {
    EXPECT_NE(xml->find(expected), std::string::npos) << expected;
  }
}

TEST_F(KeyedArchive, DecodesAnArchiveWrittenByHand) {
  // A folder with one child, laid out as the format describes.
  const Value::Array objects{
      Value("$null"),
      object(2, {{"name", Value::uid(3)},
                 {"count", Value(7)},
                 {"size", Value(-1)},
                 {"hidden", Value(1)},
                 {"ratio", Value(3)},
                 {"modified", Value::uid(4)},
                 {"children", Value::uid(6)},
                 {"favorite", Value::uid(0)},
                 {"url", Value::uid(11)}}),
      classDescription("TestFolder", {"TestFolder", "TestEntry", "NSObject"}),
      Value("Documents"),
      object(5, {{"NS.time", Value(1.5)}}),
      classDescription("NSDate", {"NSDate", "NSObject"}),
      object(7, {{"NS.objects", Value(Value::Array{Value::uid(8)})}}),
      classDescription("NSArray", {"NSArray", "NSObject"}),
      object(9, {{"name", Value::uid(10)}}),
      classDescription("TestEntry", {"TestEntry", "NSObject"}),
      Value("child"),
      object(12, {{"NS.base", Value::uid(0)}, {"NS.relative", Value::uid(13)}}),
      classDescription("NSURL", {"NSURL", "NSObject"}),
      Value("file:///Users/bob/Documents/"),
  };
  for (auto format : {PropertyList::Format::binary, PropertyList::Format::xml}) {
    Value root(Value::Dictionary{{"$archiver", Value("NSKeyedArchiver")},
                                 {"$version", Value(100000)},
                                 {"$top", Value(Value::Dictionary{{"root", Value::uid(1)}})},
                                 {"$objects", Value(objects)}});
    auto bytes = PropertyList::serialize(root, format);
    ASSERT_TRUE(bytes);
    auto decoded = KeyedUnarchiver::unarchivedObject<Folder>(*bytes, {"TestFolder"});
    ASSERT_TRUE(decoded) << decoded.error().localizedDescription();
    const Folder& folder = **decoded;
    EXPECT_EQ(folder.name, "Documents");
    EXPECT_EQ(folder.count, 7);
    EXPECT_EQ(folder.size, std::numeric_limits<std::uint64_t>::max());
    EXPECT_TRUE(folder.hidden);
    EXPECT_EQ(folder.ratio, 3.0);
    EXPECT_EQ(folder.modified, Date(1.5));
    EXPECT_EQ(folder.url, "file:///Users/bob/Documents/");
    EXPECT_FALSE(folder.favorite);
    ASSERT_EQ(folder.children.size(), 1u);
    EXPECT_EQ(folder.children[0]->name, "child");
    EXPECT_EQ(folder.children[0]->size, 0u);  // missing keys: 0, false, absent
    EXPECT_FALSE(folder.children[0]->hidden);
    EXPECT_FALSE(folder.children[0]->modified);
  }
}

TEST_F(KeyedArchive, MissingKeysAndNullDecodeAsAbsent) {
  auto bytes = archiveOf({Value("$null"), object(2, {{"note", Value::uid(0)}}), classDescription("TestEntry", {})});
  KeyedUnarchiver u(bytes);
  ASSERT_FALSE(u.error());
  auto entry = u.decodeObjectForKey<Entry>("root");
  ASSERT_TRUE(entry);
  EXPECT_FALSE(entry->note);
  EXPECT_EQ(entry->name, "");
  EXPECT_FALSE(u.containsValueForKey("missing"));
  EXPECT_FALSE(u.decodeObjectForKey<Entry>("missing"));
  EXPECT_FALSE(u.decodeArrayForKey<Entry>("missing"));
  EXPECT_FALSE(u.decodePropertyListForKey("missing"));
  EXPECT_EQ(u.decodeInt64ForKey("missing"), 0);
  EXPECT_FALSE(u.error());
}

TEST_F(KeyedArchive, NumbersConvertWhereTheyFit) {
  KeyedArchiver a;
  a.encode("max", std::numeric_limits<std::uint64_t>::max());
  a.encodeUInt64("high", 9223372036854775808ull);
  a.encode("neg", -5);
  a.encode("real", 2.75);
  a.encode("flag", true);
  a.encode("text", "x");
  auto bytes = a.finishEncoding();
  ASSERT_TRUE(bytes);
  KeyedUnarchiver u(*bytes);
  EXPECT_EQ(u.decodeUInt64ForKey("max"), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(u.decodeUInt64ForKey("high"), 9223372036854775808ull);
  EXPECT_EQ(u.decodeInt64ForKey("high"), std::numeric_limits<std::int64_t>::min());  // the same bits, signed
  EXPECT_EQ(u.decodeUInt64ForKey("neg"), static_cast<std::uint64_t>(-5));
  EXPECT_EQ(u.decodeInt64ForKey("real"), 2);
  EXPECT_EQ(u.decodeDoubleForKey("neg"), -5.0);
  EXPECT_TRUE(u.decodeBoolForKey("neg"));
  EXPECT_EQ(u.decodeInt64ForKey("flag"), 1);
  EXPECT_TRUE(u.containsValueForKey("text"));
  EXPECT_FALSE(u.error());
  EXPECT_EQ(u.decodeInt64ForKey("text"), 0);  // a reference is not a number
  ASSERT_TRUE(u.error());
  EXPECT_EQ(u.error()->code, CocoaError::coderReadCorrupt);
  EXPECT_EQ(u.decodeDoubleForKey("real"), 0);  // after a failure everything reads empty
}

TEST_F(KeyedArchive, PropertyListsRoundTripAtTheTop) {
  const Value plist(Value::Dictionary{{"paths", Value(Value::Array{Value("/a"), Value("/b")})},
                                      {"when", Value(Date(3.5))},
                                      {"nested", Value(Value::Dictionary{{"x", Value(1.0)}})}});
  auto bytes = KeyedArchiver::archivedPropertyList(plist);
  ASSERT_TRUE(bytes);
  auto back = KeyedUnarchiver::unarchivedPropertyList(*bytes);
  ASSERT_TRUE(back) << back.error().localizedDescription();
  EXPECT_EQ(*back, plist);
  EXPECT_FALSE(KeyedArchiver::archivedPropertyList(Value(Value::Array{Value()})));  // arrays cannot hold null
}

TEST_F(KeyedArchive, OnlyAllowedClassesDecode) {
  auto bytes = KeyedArchiver::archivedData(makeTree());
  ASSERT_TRUE(bytes);
  // The root itself.
  EXPECT_TRUE(KeyedUnarchiver::unarchivedObject<Entry>(*bytes, {"TestFolder"}));
  EXPECT_TRUE(KeyedUnarchiver::unarchivedObject<Entry>(*bytes));  // T's own class and its subclasses
  auto refused = KeyedUnarchiver::unarchivedObject<Entry>(*bytes, {"TestFileEntry"});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, CocoaError::coderReadCorrupt);
  EXPECT_NE(refused.error().localizedDescription().find("TestFolder"), std::string::npos);
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObject<Unrelated>(*bytes, {"TestFolder"}));  // allowed but not that type
  // Elements of collections: a folder that accepts only folders as children fails as a whole.
  gChildClasses = AllowedClasses{"TestFolder"};
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObject<Entry>(*bytes, {"TestEntry"}));

  // An archive's own claim about superclasses counts for nothing.
  gChildClasses = AllowedClasses{"TestEntry"};
  auto forged = archiveOf({Value("$null"), object(2), classDescription("TestFileEntry", {"TestFileEntry", "TestFolder"})});
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObject<Entry>(forged, {"TestFolder"}));
  EXPECT_TRUE(KeyedUnarchiver::unarchivedObject<Entry>(forged, {"TestEntry"}));
  // Unknown and abstract classes.
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObject<Entry>(
      archiveOf({Value("$null"), object(2), classDescription("Evil", {"Evil", "TestEntry"})}), {"TestEntry"}));
  EXPECT_FALSE(
      KeyedUnarchiver::unarchivedObject<Shape>(archiveOf({Value("$null"), object(2), classDescription("TestShape", {})})));
}

TEST_F(KeyedArchive, AbstractBasesAndPolymorphicRoots) {
  std::shared_ptr<Shape> shape = std::make_shared<Circle>();
  static_cast<Circle&>(*shape).radius = 2.5;
  auto bytes = KeyedArchiver::archivedData(shape);
  ASSERT_TRUE(bytes) << bytes.error().localizedDescription();
  auto back = KeyedUnarchiver::unarchivedObject<Shape>(*bytes, {"TestShape"});
  ASSERT_TRUE(back) << back.error().localizedDescription();
  auto circle = std::dynamic_pointer_cast<Circle>(*back);
  ASSERT_TRUE(circle);
  EXPECT_EQ(circle->radius, 2.5);
}

TEST_F(KeyedArchive, EncodingFailuresAreReported) {
  auto cyclic = std::make_shared<Folder>();
  cyclic->children = {cyclic};
  auto cycle = KeyedArchiver::archivedData(cyclic);
  cyclic->children.clear();
  ASSERT_FALSE(cycle);
  EXPECT_EQ(cycle.error().code, CocoaError::coderInvalidValue);

  EXPECT_FALSE(KeyedArchiver::archivedData(std::make_shared<Unregistered>()));
  auto withNull = std::make_shared<Folder>();
  withNull->children = {nullptr};
  EXPECT_FALSE(KeyedArchiver::archivedData(withNull));
  auto badText = std::make_shared<Entry>();
  badText->name = "\xFF";
  EXPECT_FALSE(KeyedArchiver::archivedData(badText));

  KeyedArchiver refusing;
  refusing.encode("a", 1);
  refusing.failWithError(Error("Test", 9));
  auto refused = refusing.finishEncoding();
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), Error("Test", 9));

  // Deeper than the cap.
  auto deep = std::make_shared<Folder>();
  for (std::size_t i = 0; i < KeyedArchiver::kMaxDepth + 5; ++i) {
    auto parent = std::make_shared<Folder>();
    parent->children = {deep};
    deep = parent;
  }
  EXPECT_FALSE(KeyedArchiver::archivedData(deep));
}

TEST_F(KeyedArchive, RegistryRefusesConflicts) {
  auto& registry = ArchiveClassRegistry::shared();
  EXPECT_TRUE(registry.registerClass<Entry>("TestEntry"));         // again: no change
  EXPECT_FALSE(registry.registerClass<Unrelated>("TestEntry"));    // name taken by another type
  EXPECT_FALSE(registry.registerClass<Entry>("TestEntryAgain"));   // type already named
  EXPECT_FALSE(registry.registerAbstractClass<Unregistered>("NSArray"));  // Foundation name
  struct Orphan : Unregistered {
    Orphan() = default;
    explicit Orphan(KeyedUnarchiver&) {}
    void encode(KeyedArchiver&) const {}
  };
  EXPECT_FALSE((registry.registerClass<Orphan, Unregistered>("TestOrphan")));  // base not registered
  ASSERT_NE(registry.classNamed("TestFileEntry"), nullptr);
  EXPECT_EQ(registry.classNamed("TestFileEntry")->classes,
            (std::vector<std::string>{"TestFileEntry", "TestEntry", "NSObject"}));
  EXPECT_EQ(registry.classFor<Folder>()->name, "TestFolder");
}

TEST_F(KeyedArchive, HostileArchivesFailCleanly) {
  const Value entryClass = classDescription("TestEntry", {"TestEntry", "NSObject"});
  const Value folderClass = classDescription("TestFolder", {"TestFolder", "TestEntry", "NSObject"});
  const Value arrayClass = classDescription("NSArray", {"NSArray", "NSObject"});
  const Value dictClass = classDescription("NSDictionary", {"NSDictionary", "NSObject"});
  const auto good = *KeyedArchiver::archivedData(makeTree());

  // Folders nested deeper than the cap, each the only child of the one before.
  Value::Array deepFolders{Value("$null"), folderClass, arrayClass};
  for (std::uint64_t i = 0; i < 600; ++i) {
    const std::uint64_t self = deepFolders.size();
    deepFolders.push_back(object(1, {{"children", Value::uid(self + 1)}}));
    deepFolders.push_back(object(2, {{"NS.objects", Value(Value::Array{Value::uid(self + 2)})}}));
  }
  deepFolders.push_back(object(1));
  // Arrays nested deeper than the cap inside a property list.
  Value::Array deepArrays{Value("$null"), arrayClass};
  for (std::uint64_t i = 0; i < 600; ++i)
    deepArrays.push_back(object(1, {{"NS.objects", Value(Value::Array{Value::uid(deepArrays.size() + 1)})}}));
  deepArrays.push_back(Value(1));
  // 40 arrays each holding the next twice: 2^40 elements once expanded.
  Value::Array plistBomb{Value("$null"), arrayClass};
  for (std::uint64_t i = 0; i < 40; ++i) {
    const auto next = Value::uid(plistBomb.size() + 1);
    plistBomb.push_back(object(1, {{"NS.objects", Value(Value::Array{next, next})}}));
  }
  plistBomb.push_back(Value(1));
  // 500 folders sharing one 1000-element children array: far more work than the archive's size.
  Value::Array sharedArray{Value("$null"), folderClass, arrayClass, entryClass, object(3)};
  Value::Array elements(1000, Value::uid(4));
  sharedArray.push_back(object(2, {{"NS.objects", Value(elements)}}));  // uid 5
  Value::Array folders;
  for (std::uint64_t i = 0; i < 500; ++i) {
    folders.push_back(Value::uid(sharedArray.size()));
    sharedArray.push_back(object(1, {{"children", Value::uid(5)}}));
  }
  sharedArray.push_back(object(2, {{"NS.objects", Value(folders)}}));
  sharedArray.push_back(object(1, {{"children", Value::uid(sharedArray.size() - 1)}}));

  // 3000 records naming themselves with one shared 1 MiB string.
  Value::Array sharedString{Value("$null"), folderClass, arrayClass, entryClass, Value(std::string(1 << 20, 'x'))};
  Value::Array named;
  for (std::uint64_t i = 0; i < 3000; ++i) {
    named.push_back(Value::uid(sharedString.size()));
    sharedString.push_back(object(3, {{"name", Value::uid(4)}}));
  }
  sharedString.push_back(object(2, {{"NS.objects", Value(named)}}));
  sharedString.push_back(object(1, {{"children", Value::uid(sharedString.size() - 1)}}));

  struct Case {
    const char* name;
    Data bytes;
    bool propertyList = false;
    const char* reason = nullptr;  // part of the expected description
  } cases[] = {
      {"empty", Data{}},
      {"truncated", Data(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2))},
      {"not a plist", Data{'h', 'e', 'l', 'l', 'o'}},
      {"wrong archiver", *PropertyList::toBinary(Value(Value::Dictionary{{"$archiver", Value("Other")}}))},
      {"wrong version", [&] {
         auto root = *PropertyList::fromBinary(good);
         root["$version"] = Value(1);
         return *PropertyList::toBinary(root);
       }()},
      {"objects without $null", archiveOf({Value("x"), object(2), entryClass})},
      {"root UID out of range", archiveOf({Value("$null")}, {{"root", Value::uid(99)}})},
      {"root not a UID", archiveOf({Value("$null")}, {{"root", Value(1)}})},
      {"class UID out of range", archiveOf({Value("$null"), object(50)})},
      {"class not a description", archiveOf({Value("$null"), object(2), Value("TestEntry")})},
      {"class pointing at the object itself",
       archiveOf({Value("$null"), [] {
                    Value self = object(1);
                    self["$classname"] = Value("TestEntry");
                    self["$classes"] = Value(Value::Array{Value("TestEntry"), Value("NSObject")});
                    return self;
                  }()}),
       false, "not an object with a class"},
      {"class description that is itself an instance",
       archiveOf({Value("$null"), object(2), [&] {
                    Value described = entryClass;
                    described["$class"] = Value::uid(3);
                    return described;
                  }(),
                  entryClass}),
       false, "not a valid class description"},
      {"class description without a chain",
       archiveOf({Value("$null"), object(2), Value(Value::Dictionary{{"$classname", Value("TestEntry")}})}), false,
       "not a valid class description"},
      {"class chain holding a number",
       archiveOf({Value("$null"), object(2),
                  Value(Value::Dictionary{{"$classname", Value("TestEntry")},
                                          {"$classes", Value(Value::Array{Value("TestEntry"), Value(1)})}})}),
       false, "not a valid class description"},
      {"object not a dictionary", archiveOf({Value("$null"), Value(5)})},
      {"string key holding a number", archiveOf({Value("$null"), object(2, {{"name", Value(5)}}), entryClass})},
      {"number key holding a reference", archiveOf({Value("$null"), object(2, {{"count", Value::uid(0)}}), entryClass})},
      {"string key referring to a date",
       archiveOf({Value("$null"), object(2, {{"name", Value::uid(3)}}), entryClass,
                  object(4, {{"NS.time", Value(1.0)}}), classDescription("NSDate", {})})},
      {"date without time", archiveOf({Value("$null"), object(2, {{"modified", Value::uid(3)}}), entryClass,
                                       object(4), classDescription("NSDate", {})})},
      {"element UID out of range",
       archiveOf({Value("$null"), object(2, {{"children", Value::uid(3)}}), folderClass,
                  object(4, {{"NS.objects", Value(Value::Array{Value::uid(77)})}}), arrayClass})},
      {"null element",
       archiveOf({Value("$null"), object(2, {{"children", Value::uid(3)}}), folderClass,
                  object(4, {{"NS.objects", Value(Value::Array{Value::uid(0)})}}), arrayClass})},
      {"children not an array", archiveOf({Value("$null"), object(2, {{"children", Value::uid(3)}}), folderClass,
                                           object(2)})},
      {"keys and values differ",
       archiveOf({Value("$null"), object(2, {{"byName", Value::uid(3)}}), folderClass,
                  object(4, {{"NS.keys", Value(Value::Array{})}, {"NS.objects", Value(Value::Array{Value::uid(1)})}}),
                  dictClass})},
      {"record cycle",
       archiveOf({Value("$null"), object(2, {{"children", Value::uid(3)}}), folderClass,
                  object(4, {{"NS.objects", Value(Value::Array{Value::uid(1)})}}), arrayClass}),
       false, "cycle"},
      {"property-list cycle", archiveOf({Value("$null"), object(2, {{"NS.objects", Value(Value::Array{Value::uid(1)})}}),
                                         arrayClass}),
       true, "cycle"},
      {"deep records", archiveOf(deepFolders, {{"root", Value::uid(3)}}), false, "too deep"},
      {"deep property list", archiveOf(deepArrays, {{"root", Value::uid(2)}}), true, "too deep"},
      {"shared property-list arrays", archiveOf(plistBomb, {{"root", Value::uid(2)}}), true, "more work"},
      {"shared record arrays", archiveOf(sharedArray, {{"root", Value::uid(sharedArray.size() - 1)}}), false,
       "tree of more than"},
      {"shared long string", archiveOf(sharedString, {{"root", Value::uid(sharedString.size() - 1)}}), false,
       "more work"},
      {"a record holding a key twice", archiveWithKeyTwice("name"), false, "twice"},
      {"a record holding an unused key twice", archiveWithKeyTwice("unused"), false, "twice"},
      {"huge declared count", [] {
         // A binary plist whose top array claims 2^62 elements.
         std::string bytes = "bplist00";
         bytes += std::string("\xAF\x13\x40\x00\x00\x00\x00\x00\x00\x00", 10);
         std::string trailer(32, '\0');
         trailer[6] = 1;
         trailer[7] = 1;
         trailer[15] = 1;
         trailer[31] = static_cast<char>(bytes.size());
         bytes.push_back(8);
         bytes += trailer;
         return Data(bytes.begin(), bytes.end());
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.propertyList) {
      auto result = KeyedUnarchiver::unarchivedPropertyList(c.bytes);
      ASSERT_FALSE(result);
      EXPECT_EQ(result.error().code, CocoaError::coderReadCorrupt);
      if (c.reason) {
        EXPECT_NE(result.error().localizedDescription().find(c.reason), std::string::npos);
      }
    } else {
      auto result = KeyedUnarchiver::unarchivedObject<Entry>(c.bytes, {"TestEntry"});
      ASSERT_FALSE(result);
      EXPECT_EQ(result.error().domain, "NSCocoaErrorDomain");
      EXPECT_EQ(result.error().code, CocoaError::coderReadCorrupt) << result.error().localizedDescription();
      if (c.reason) {
        EXPECT_NE(result.error().localizedDescription().find(c.reason), std::string::npos)
            << result.error().localizedDescription();
      }
      auto asArray = KeyedUnarchiver::unarchivedArray<Entry>(c.bytes, {"TestEntry"});
      EXPECT_FALSE(asArray);
    }
  }
  // A missing root is its own error.
  auto empty = KeyedUnarchiver::unarchivedObject<Entry>(archiveOf({Value("$null")}, {}));
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.error().code, CocoaError::coderValueNotFound);
}

TEST_F(KeyedArchive, InterfacesHoldUnrelatedRecordsAndUrlArraysRoundTrip) {
  auto note = std::make_shared<Note>();
  note->text = "hello";
  auto link = std::make_shared<Link>();
  link->targets = std::vector<std::string>{"file:///Users/bob/a/", "https://example.com/x?y=1"};
  const std::vector<std::shared_ptr<Item>> items{note, link, std::make_shared<Link>()};
  auto bytes = KeyedArchiver::archivedArray(items);
  ASSERT_TRUE(bytes) << bytes.error().localizedDescription();

  auto plist = PropertyList::fromBinary(*bytes);
  ASSERT_TRUE(plist);
  bool sawNoteClass = false;
  for (const auto& o : *plist->find("$objects")->asArray()) {
    if (o.find("$classname") && *o.find("$classname") == Value("TestNote")) {
      EXPECT_EQ(*o.find("$classes"), Value(Value::Array{Value("TestNote"), Value("NSObject")}));
      sawNoteClass = true;
    }
  }
  EXPECT_TRUE(sawNoteClass);

  auto back = KeyedUnarchiver::unarchivedArray<Item>(*bytes, {"TestNote", "TestLink"});
  ASSERT_TRUE(back) << back.error().localizedDescription();
  ASSERT_EQ(back->size(), 3u);
  EXPECT_EQ(std::dynamic_pointer_cast<Note>((*back)[0])->text, "hello");
  EXPECT_EQ(std::dynamic_pointer_cast<Link>((*back)[1])->targets, link->targets);
  EXPECT_FALSE(std::dynamic_pointer_cast<Link>((*back)[2])->targets);

  EXPECT_FALSE(KeyedUnarchiver::unarchivedArray<Item>(*bytes));               // an interface names no class
  EXPECT_FALSE(KeyedUnarchiver::unarchivedArray<Item>(*bytes, {"TestNote"}));  // a link is not allowed
  EXPECT_TRUE(ArchiveClassRegistry::shared().registerInterface<Item>());
  EXPECT_FALSE(ArchiveClassRegistry::shared().registerInterface<Entry>());  // already a named class

  // A URL array holding a plain string is refused.
  auto notUrls = archiveOf({Value("$null"), object(2, {{"targets", Value::uid(3)}}), classDescription("TestLink", {}),
                            object(4, {{"NS.objects", Value(Value::Array{Value::uid(5)})}}),
                            classDescription("NSArray", {}), Value("file:///x")});
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObject<Item>(notUrls, {"TestLink"}));
}
