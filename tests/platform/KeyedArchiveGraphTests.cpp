#include <gtest/gtest.h>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"

using namespace vozi::platform;

namespace {

// A box holding boxes and notes: the shape of a request whose nested records
// a receiver must check as strictly as its root.
struct GraphNote {
  GraphNote() = default;
  explicit GraphNote(KeyedUnarchiver& u) : text(u.decodeStringForKey("text").value_or("")) {}
  virtual ~GraphNote() = default;
  virtual void encode(KeyedArchiver& a) const { a.encode("text", text); }
  std::string text;
};

struct GraphBox : GraphNote {
  GraphBox() = default;
  explicit GraphBox(KeyedUnarchiver& u)
      : GraphNote(u),
        ordered(u.decodeOrderedSetForKey<GraphNote>("ordered", {"GraphNote"}).value_or(
            std::vector<std::shared_ptr<GraphNote>>{})),
        named(u.decodeDictionaryForKey<GraphNote>("named", {"GraphNote"}).value_or(
            std::map<std::string, std::shared_ptr<GraphNote>>{})) {}
  void encode(KeyedArchiver& a) const override {
    GraphNote::encode(a);
    a.encodeOrderedSet("ordered", ordered, true);
    a.encodeDictionary("named", named, true);
  }
  std::vector<std::shared_ptr<GraphNote>> ordered;
  std::map<std::string, std::shared_ptr<GraphNote>> named;
};

struct GraphMemo : GraphNote {
  using GraphNote::GraphNote;
};

Data boxArchive() {
  auto& registry = ArchiveClassRegistry::shared();
  registry.registerClass<GraphNote>("GraphNote");
  registry.registerClass<GraphBox, GraphNote>("GraphBox");
  registry.registerClass<GraphMemo, GraphNote>("GraphMemo");
  auto box = std::make_shared<GraphBox>();
  auto inner = std::make_shared<GraphBox>();
  inner->named["memo"] = std::make_shared<GraphMemo>();
  box->ordered = {inner, std::make_shared<GraphNote>()};
  auto bytes = KeyedArchiver::archivedData(box);
  EXPECT_TRUE(bytes.ok());
  return bytes ? *bytes : Data{};
}

}  // namespace

TEST(KeyedArchiveGraph, MutableCollectionsCarryTheirOwnClassNames) {
  auto plist = PropertyList::fromBinary(boxArchive());
  ASSERT_TRUE(plist.ok());
  std::set<std::string> names;
  for (const auto& object : *plist->find("$objects")->asArray()) {
    if (const Value* name = object.find("$classname")) names.insert(*name->asString());
  }
  EXPECT_TRUE(names.count("NSMutableOrderedSet"));
  EXPECT_TRUE(names.count("NSMutableDictionary"));
  EXPECT_FALSE(names.count("NSOrderedSet"));
  EXPECT_FALSE(names.count("NSDictionary"));
}

TEST(KeyedArchiveGraph, TheArchivesListBoundsNestedRecordsToo) {
  const Data bytes = boxArchive();
  // Each decoder's own list lets the memo in; the archive-wide list decides.
  EXPECT_TRUE(KeyedUnarchiver::unarchivedObject<GraphBox>(bytes, {"GraphBox"}).ok());
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectWithinClasses<GraphBox>(bytes, {"GraphBox"}).ok());
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectWithinClasses<GraphBox>(bytes, {"GraphBox", "GraphMemo"}).ok())
      << "the plain note is not listed";
  auto whole = KeyedUnarchiver::unarchivedObjectWithinClasses<GraphBox>(bytes, {"GraphNote"});
  ASSERT_TRUE(whole.ok()) << whole.error().localizedDescription();
  ASSERT_EQ((*whole)->ordered.size(), 2u);
  auto inner = std::dynamic_pointer_cast<GraphBox>((*whole)->ordered[0]);
  ASSERT_TRUE(inner);
  EXPECT_TRUE(std::dynamic_pointer_cast<GraphMemo>(inner->named.at("memo")));
}
