#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/DispatchSemaphore.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/ObjectStoreError.h"
#include "platform/store/PersistentStoreCoordinator.h"
#include "support/TempRoot.h"

using namespace vozi::platform;
namespace fs = std::filesystem;

namespace {

class Item : public ManagedObject {
 public:
  std::optional<std::string> name() const { return string("name"); }
};
class Group : public Item {};

// Items (files and groups, which hold items many-to-many), histories owned by
// groups, folders holding documents, and plain events.
ManagedObjectModel::Builder baseModel() {
  ManagedObjectModel::Builder b;
  b.entity("Item")
      .objectClass<Item>()
      .attribute("name", AttributeType::string).indexed()
      .attribute("size", AttributeType::integer64)
      .attribute("kind", AttributeType::integer16)
      .attribute("created", AttributeType::date)
      .attribute("blob", AttributeType::data)
      .attribute("flag", AttributeType::boolean)
      .attribute("score", AttributeType::real)
      .attribute("maybe", AttributeType::boolean).optional()
      .toMany("groups", "Group", "items");
  b.entity("FileItem").parent("Item").attribute("path", AttributeType::string);
  b.entity("Group")
      .parent("Item")
      .objectClass<Group>()
      .toMany("items", "Item", "groups")
      .toOne("history", "History", "group", DeleteRule::cascade);
  b.entity("History").attribute("lastSize", AttributeType::integer64).toOne("group", "Group", "history");
  b.entity("Folder").attribute("title", AttributeType::string).toMany("docs", "Doc", "folder");
  b.entity("Doc").attribute("title", AttributeType::string).toOne("folder", "Folder", "docs");
  b.entity("Event").attribute("date", AttributeType::date).attribute("type", AttributeType::string);
  return b;
}

std::shared_ptr<const ManagedObjectModel> makeModel(ManagedObjectModel::Builder b = baseModel()) {
  std::string failure;
  auto model = b.build(&failure);
  EXPECT_TRUE(model) << failure;
  return model;
}

struct Store {
  std::shared_ptr<PersistentStoreCoordinator> psc;
  std::unique_ptr<ManagedObjectContext> moc;

  Store(std::shared_ptr<const ManagedObjectModel> model, const std::string& path) {
    psc = std::make_shared<PersistentStoreCoordinator>(model);
    Error error;
    ok = psc->addSQLiteStore(path, &error);
    if (!ok) failure = ObjectStoreError::describe(error);
    moc = std::make_unique<ManagedObjectContext>(psc, "div.ez.iru.test.context");
  }
  void run(const std::function<void()>& block) { moc->performAndWait(block); }
  std::vector<ManagedObjectPtr> fetch(const FetchRequest& request) {
    Error error;
    auto result = moc->fetch(request, &error);
    EXPECT_TRUE(result) << ObjectStoreError::describe(error);
    return result.value_or(std::vector<ManagedObjectPtr>{});
  }
  std::vector<ManagedObjectPtr> all(const std::string& entity) { return fetch(FetchRequest(entity)); }
  void save() {
    Error error;
    EXPECT_TRUE(moc->save(&error)) << ObjectStoreError::describe(error);
  }
  bool ok = false;
  std::string failure;
};

std::set<std::string> names(const std::vector<ManagedObjectPtr>& objects) {
  std::set<std::string> out;
  for (auto& o : objects) out.insert(o->string("name").value_or(o->entity().name()));
  return out;
}

std::vector<std::string> orderedNames(const std::vector<ManagedObjectPtr>& objects, const char* key = "name") {
  std::vector<std::string> out;
  for (auto& o : objects) out.push_back(o->string(key).value_or("-"));
  return out;
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

class ObjectStoreTest : public ::testing::Test {
 protected:
  vozi::test::TempRoot root;
  std::string path = root.makeDirectory("/Library/Application Support/div.ez.iru") + "/Test.sqlite";
  std::shared_ptr<const ManagedObjectModel> model = makeModel();
};

}  // namespace

// ---- model ------------------------------------------------------------------------

TEST(ObjectStoreModel, RejectsDeclarationsThatDoNotFitTogether) {
  struct Case {
    const char* what;
    std::function<void(ManagedObjectModel::Builder&)> declare;
  };
  const Case cases[] = {
      {"unknown parent", [](auto& b) { b.entity("A").parent("Nope"); }},
      {"inheritance loop", [](auto& b) { b.entity("A").parent("B"), b.entity("B").parent("A"); }},
      {"unknown destination", [](auto& b) { b.entity("A").toOne("b", "Nope", "a"); }},
      {"missing inverse", [](auto& b) { b.entity("A").toOne("b", "B", "a"), b.entity("B"); }},
      {"inverse points elsewhere",
       [](auto& b) {
         b.entity("A").toOne("b", "B", "a").toOne("c", "B", "a");
         b.entity("B").toOne("a", "A", "b");
       }},
      {"property redeclared in a sub-entity",
       [](auto& b) {
         b.entity("A").attribute("x", AttributeType::string);
         b.entity("B").parent("A").attribute("X", AttributeType::integer64);
       }},
      {"entity names differing in case only", [](auto& b) { b.entity("A"), b.entity("a"); }},
      {"entity name that is not a plain name", [](auto& b) { b.entity("_META"); }},
      {"default of the wrong type",
       [](auto& b) { b.entity("A").attribute("x", AttributeType::integer64).defaultValue(Value("1")); }},
  };
  for (const auto& c : cases) {
    ManagedObjectModel::Builder b;
    c.declare(b);
    std::string failure;
    EXPECT_FALSE(b.build(&failure)) << c.what;
    EXPECT_FALSE(failure.empty()) << c.what;
  }
}

TEST(ObjectStoreModel, SubEntitiesInheritPropertiesWithStableSlots) {
  auto model = makeModel();
  const EntityDescription* item = model->entity("Item");
  const EntityDescription* group = model->entity("Group");
  ASSERT_TRUE(item && group);
  EXPECT_TRUE(group->isKindOf(*item));
  EXPECT_FALSE(item->isKindOf(*group));
  EXPECT_EQ(&group->root(), item);
  EXPECT_EQ(group->attribute("size"), item->attribute("size"));
  EXPECT_EQ(group->attribute("size")->index(), item->attribute("size")->index());
  EXPECT_TRUE(group->relationship("items")->isManyToMany());
  EXPECT_TRUE(model->entity("History")->relationship("group")->isOneToOne());
  EXPECT_EQ(item->selfAndDescendants().size(), 3u);
}

// ---- files ---------------------------------------------------------------------

TEST_F(ObjectStoreTest, StoreFileAndItsCompanionsAreReadableByTheOwnerOnly) {
  {
    Store store(model, path);
    ASSERT_TRUE(store.ok) << store.failure;
    store.run([&] {
      store.moc->insertNewObject("Event")->setString("type", "x");
      store.save();
    });
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(path + "-wal"), 0600u);
    EXPECT_EQ(modeOf(path + "-shm"), 0600u);
  }
  // A file left readable by others is tightened when it is opened.
  ::chmod(path.c_str(), 0644);
  Store again(model, path);
  ASSERT_TRUE(again.ok) << again.failure;
  EXPECT_EQ(modeOf(path), 0600u);
}

TEST_F(ObjectStoreTest, RefusesASymbolicLinkOrAForeignFile) {
  const std::string target = root.writeFile("/elsewhere.sqlite", "");
  const std::string link = fs::path(path).parent_path() / "Link.sqlite";
  fs::create_symlink(target, link);
  EXPECT_FALSE(Store(model, link).ok);

  const std::string garbage = root.writeFile("/Library/Application Support/div.ez.iru/Garbage.sqlite",
                                             std::string(4096, 'x'));
  EXPECT_FALSE(Store(model, garbage).ok);

  // Some other program's database is left alone.
  const std::string foreign = fs::path(path).parent_path() / "Foreign.sqlite";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE people (name TEXT)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  Store other(model, foreign);
  EXPECT_FALSE(other.ok);
  EXPECT_NE(other.failure.find("not an object store"), std::string::npos) << other.failure;
}

// ---- values --------------------------------------------------------------------

TEST_F(ObjectStoreTest, EveryAttributeTypeRoundTripsExactlyThroughTheFile) {
  const double dates[] = {0.0, 1e-300, 123456789.123456789, -978307200.5, 7.0e15 + 0.5, 1.0 / 3.0};
  const Data bytes{0, 1, 2, 255, 0};
  {
    Store store(model, path);
    ASSERT_TRUE(store.ok) << store.failure;
    store.run([&] {
      for (std::size_t i = 0; i < std::size(dates); ++i) {
        auto o = store.moc->insertNewObject("FileItem");
        o->setString("name", "item" + std::to_string(i));
        o->setDate("created", Date(dates[i]));
        o->setInteger("size", i == 0 ? INT64_MIN : INT64_MAX - static_cast<std::int64_t>(i));
        o->setInteger("kind", -32768 + static_cast<std::int64_t>(i));
        o->setData("blob", i == 0 ? Data{} : bytes);
        o->setBoolean("flag", i % 2 == 1);
        o->setReal("score", dates[i] * -1.5);
        if (i == 1) o->setValue("maybe", false);
        o->setString("path", std::string("a\0b/é", 6));
      }
      store.save();
    });
  }
  Store store(model, path);
  store.run([&] {
    FetchRequest request("FileItem");
    request.sortDescriptors = {{"name", true}};
    auto objects = store.fetch(request);
    ASSERT_EQ(objects.size(), std::size(dates));
    for (std::size_t i = 0; i < objects.size(); ++i) {
      auto& o = objects[i];
      const double d = o->date("created")->timeIntervalSinceReferenceDate();
      EXPECT_EQ(std::memcmp(&d, &dates[i], sizeof d), 0) << "date " << i;
      EXPECT_EQ(o->integer("size"), i == 0 ? INT64_MIN : INT64_MAX - static_cast<std::int64_t>(i));
      EXPECT_EQ(o->integer("kind"), -32768 + static_cast<std::int64_t>(i));
      EXPECT_EQ(*o->data("blob"), i == 0 ? Data{} : bytes);
      EXPECT_EQ(o->boolean("flag"), i % 2 == 1);
      EXPECT_EQ(o->real("score"), dates[i] * -1.5);
      EXPECT_EQ(o->value("maybe").isNull(), i != 1);
      EXPECT_EQ(*o->string("path"), std::string("a\0b/é", 6));
    }
  });
}

TEST_F(ObjectStoreTest, ScalarsAreNeverAbsentAndStartAtTheirDefaults) {
  Store store(model, path);
  store.run([&] {
    auto o = store.moc->insertNewObject("Item");
    EXPECT_EQ(o->value("size"), Value(std::int64_t{0}));
    EXPECT_EQ(o->value("flag"), Value(false));
    EXPECT_TRUE(o->value("maybe").isNull());
    EXPECT_TRUE(o->value("name").isNull());
    o->setValue("size", Value());
    EXPECT_EQ(o->integer("size"), 0);
  });
}

// ---- identity --------------------------------------------------------------------

TEST_F(ObjectStoreTest, TemporaryIdentitiesBecomePermanentAndObjectsAreUnique) {
  ObjectID saved;
  {
    Store store(model, path);
    store.run([&] {
      auto o = store.moc->insertNewObject("Group");
      EXPECT_TRUE(o->objectID().isTemporaryID());
      EXPECT_TRUE(o->isInserted());
      o->setString("name", "g");
      store.save();
      EXPECT_FALSE(o->objectID().isTemporaryID());
      EXPECT_FALSE(o->isInserted());
      saved = o->objectID();
      EXPECT_EQ(store.moc->existingObject(saved), o);
      EXPECT_EQ(store.all("Item").front(), o);  // one instance per stored object
    });
  }
  Store store(model, path);
  store.run([&] {
    auto fetched = store.all("Group");
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_EQ(fetched.front()->objectID().primaryKey(), saved.primaryKey());
    EXPECT_TRUE(std::dynamic_pointer_cast<Group>(fetched.front()));
    // Identities do not cross stores.
    Error error;
    EXPECT_FALSE(store.moc->existingObject(saved, &error));
    EXPECT_EQ(error.code, ObjectStoreError::objectNotFound);
  });
}

TEST_F(ObjectStoreTest, ExistingObjectFailsForADeletedObjectSavedOrNot) {
  Store store(model, path);
  store.run([&] {
    auto a = store.moc->insertNewObject("Doc");
    auto b = store.moc->insertNewObject("Doc");
    store.save();
    const ObjectID idA = a->objectID(), idB = b->objectID();
    store.moc->deleteObject(a);
    Error error;
    EXPECT_FALSE(store.moc->existingObject(idA, &error));
    EXPECT_EQ(error.code, ObjectStoreError::objectNotFound);
    store.save();
    EXPECT_EQ(a->managedObjectContext(), nullptr);
    EXPECT_FALSE(store.moc->existingObject(idA));
    store.moc->reset();
    EXPECT_FALSE(store.moc->existingObject(idA));
    auto again = store.moc->existingObject(idB);
    ASSERT_TRUE(again);
    EXPECT_NE(again, b);  // reset forgot the old instance
  });
}

TEST_F(ObjectStoreTest, PrimaryKeysAreNeverReused) {
  Store store(model, path);
  store.run([&] {
    auto a = store.moc->insertNewObject("Doc");
    store.save();
    const ObjectID old = a->objectID();
    store.moc->deleteObject(a);
    store.save();
    auto b = store.moc->insertNewObject("Doc");
    store.save();
    EXPECT_GT(b->objectID().primaryKey(), old.primaryKey());
    EXPECT_FALSE(store.moc->existingObject(old));
  });
}

// ---- inheritance ---------------------------------------------------------------

TEST_F(ObjectStoreTest, FetchOfAParentEntityReturnsSubEntitiesUnlessAskedNot) {
  Store store(model, path);
  store.run([&] {
    store.moc->insertNewObject("Item")->setString("name", "item");
    store.moc->insertNewObject("FileItem")->setString("name", "file");
    store.moc->insertNewObject("Group")->setString("name", "group");
    for (bool saved : {false, true}) {
      if (saved) store.save();
      EXPECT_EQ(names(store.all("Item")), (std::set<std::string>{"item", "file", "group"})) << saved;
      FetchRequest own("Item");
      own.includesSubentities = false;
      EXPECT_EQ(names(store.fetch(own)), (std::set<std::string>{"item"})) << saved;
      EXPECT_EQ(names(store.all("Group")), (std::set<std::string>{"group"})) << saved;
      EXPECT_EQ(*store.moc->count(FetchRequest("Item")), 3u);
    }
  });
}

// ---- relationships ---------------------------------------------------------------

TEST_F(ObjectStoreTest, ManyToManyRelationshipsKeepBothSidesInStepAndPersist) {
  {
    Store store(model, path);
    store.run([&] {
      auto g1 = store.moc->insertNewObject("Group"), g2 = store.moc->insertNewObject("Group");
      g1->setString("name", "g1");
      g2->setString("name", "g2");
      auto shared = store.moc->insertNewObject("FileItem"), own = store.moc->insertNewObject("FileItem");
      shared->setString("name", "shared");
      own->setString("name", "own");
      g1->addObject("items", shared);
      g1->addObject("items", own);
      shared->addObject("groups", g2);  // from the other side
      g1->addObject("items", g2);       // a group inside a group
      EXPECT_EQ(names(shared->objects("groups")), (std::set<std::string>{"g1", "g2"}));
      EXPECT_EQ(names(g2->objects("items")), (std::set<std::string>{"shared"}));
      EXPECT_EQ(g1->objectCount("items"), 3u);
      store.save();
    });
  }
  Store store(model, path);
  store.run([&] {
    FetchRequest request("Group");
    request.predicate = Predicate::equal("name", "g1");
    auto g1 = store.fetch(request).at(0);
    EXPECT_EQ(names(g1->objects("items")), (std::set<std::string>{"shared", "own", "g2"}));
    auto shared = g1->objects("items");
    auto it = std::find_if(shared.begin(), shared.end(), [](auto& o) { return o->string("name") == "shared"; });
    ASSERT_NE(it, shared.end());
    EXPECT_EQ(names((*it)->objects("groups")), (std::set<std::string>{"g1", "g2"}));
    g1->removeObject("items", *it);
    EXPECT_EQ(names((*it)->objects("groups")), (std::set<std::string>{"g2"}));
    store.save();
    store.moc->reset();
    auto again = store.fetch(request).at(0);
    EXPECT_EQ(names(again->objects("items")), (std::set<std::string>{"own", "g2"}));
  });
}

// A pair with a new object gets its row at the save, from the objects'
// members: once, from whichever side it was made, and none for a pair
// undone before the save.
TEST_F(ObjectStoreTest, PairsWithNewObjectsAreWrittenOnceWhicheverSideMadeThem) {
  Store store(model, path);
  store.run([&] {
    auto make = [&](const char* entity, const char* name) {
      auto object = store.moc->insertNewObject(entity);
      object->setString("name", name);
      return object;
    };
    auto saved = make("Group", "saved");
    auto savedFile = make("FileItem", "savedFile");
    store.save();
    auto fresh = make("Group", "fresh");
    auto a = make("FileItem", "a"), b = make("FileItem", "b"), c = make("FileItem", "c");
    saved->addObject("items", a);         // a saved group, a new file
    a->addObject("groups", fresh);         // a new group, from the file's side
    fresh->addObject("items", savedFile);  // a new group, a saved file
    fresh->addObject("items", b);
    fresh->removeObject("items", b);  // undone before the save
    saved->addObject("items", c);
    saved->removeObject("items", c);
    saved->addObject("items", c);  // undone and made again
    store.save();
    store.moc->reset();
    auto group = [&](const char* name) {
      FetchRequest request("Group");
      request.predicate = Predicate::equal("name", name);
      return store.fetch(request).at(0);
    };
    EXPECT_EQ(names(group("saved")->objects("items")), (std::set<std::string>{"a", "c"}));
    EXPECT_EQ(names(group("fresh")->objects("items")), (std::set<std::string>{"a", "savedFile"}));
  });
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM \"Z_Group.items\"", -1, &count, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(count, 0), 4);
  sqlite3_finalize(count);
  sqlite3_close(db);
}

TEST_F(ObjectStoreTest, ChangesToAnUnloadedSideAreMergedWhenItLoads) {
  {
    Store store(model, path);
    store.run([&] {
      auto g = store.moc->insertNewObject("Group");
      g->setString("name", "g");
      for (int i = 0; i < 3; ++i) {
        auto f = store.moc->insertNewObject("FileItem");
        f->setString("name", std::string("f").append(std::to_string(i)));
        g->addObject("items", f);
      }
      store.save();
    });
  }
  Store store(model, path);
  store.run([&] {
    FetchRequest files("FileItem");
    files.predicate = Predicate::in("name", {Value("f0"), Value("f1")});
    auto picked = store.fetch(files);
    ASSERT_EQ(picked.size(), 2u);
    // The group's items have not been read yet: the change is remembered.
    picked[0]->removeObject("groups", picked[0]->objects("groups").at(0));
    auto extra = store.moc->insertNewObject("FileItem");
    extra->setString("name", "new");
    auto g = store.fetch(FetchRequest("Group")).at(0);
    extra->addObject("groups", g);
    EXPECT_EQ(g->objectCount("items"), 3u);
    EXPECT_FALSE(g->containsObject("items", picked[0]));
    EXPECT_TRUE(g->containsObject("items", extra));
    store.save();
    store.moc->reset();
    EXPECT_EQ(store.fetch(FetchRequest("Group")).at(0)->objectCount("items"), 3u);
  });
}

TEST_F(ObjectStoreTest, ToOneSidesFollowTheirInverse) {
  Store store(model, path);
  store.run([&] {
    auto a = store.moc->insertNewObject("Folder"), b = store.moc->insertNewObject("Folder");
    auto doc = store.moc->insertNewObject("Doc");
    a->addObject("docs", doc);
    EXPECT_EQ(doc->object("folder"), a);
    doc->setObject("folder", b);  // moves it
    EXPECT_EQ(a->objectCount("docs"), 0u);
    EXPECT_EQ(b->objectCount("docs"), 1u);
    store.save();

    auto group = store.moc->insertNewObject("Group"), other = store.moc->insertNewObject("Group");
    auto history = store.moc->insertNewObject("History");
    group->setObject("history", history);
    EXPECT_EQ(history->object("group"), group);
    other->setObject("history", history);  // one to one: the first group lets go
    EXPECT_EQ(group->object("history"), nullptr);
    store.save();
    store.moc->reset();
    auto folders = store.all("Folder");
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0]->objectCount("docs") + folders[1]->objectCount("docs"), 1u);
    auto histories = store.all("History");
    ASSERT_EQ(histories.size(), 1u);
    ASSERT_TRUE(histories[0]->object("group"));
    EXPECT_EQ(histories[0]->object("group")->object("history"), histories[0]);
  });
}

TEST_F(ObjectStoreTest, DeletingNullifiesOrCascadesAsDeclared) {
  Store store(model, path);
  store.run([&] {
    auto group = store.moc->insertNewObject("Group");
    auto file = store.moc->insertNewObject("FileItem");
    auto history = store.moc->insertNewObject("History");
    group->addObject("items", file);
    group->setObject("history", history);
    auto folder = store.moc->insertNewObject("Folder");
    auto doc = store.moc->insertNewObject("Doc");
    doc->setObject("folder", folder);
    store.save();

    store.moc->deleteObject(file);
    EXPECT_EQ(group->objectCount("items"), 0u);
    store.moc->deleteObject(folder);
    EXPECT_EQ(doc->object("folder"), nullptr);
    store.moc->deleteObject(group);
    EXPECT_TRUE(history->isDeleted());  // cascade
    EXPECT_TRUE(store.all("History").empty());
    store.save();
    store.moc->reset();
    EXPECT_TRUE(store.all("Item").empty());
    EXPECT_TRUE(store.all("History").empty());
    auto docs = store.all("Doc");
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0]->object("folder"), nullptr);
  });
}

TEST_F(ObjectStoreTest, DeletingANewObjectForgetsItAndItsLinks) {
  Store store(model, path);
  store.run([&] {
    auto group = store.moc->insertNewObject("Group");
    store.save();
    auto file = store.moc->insertNewObject("FileItem");
    group->addObject("items", file);
    store.moc->deleteObject(file);
    EXPECT_EQ(group->objectCount("items"), 0u);
    EXPECT_EQ(file->managedObjectContext(), nullptr);
    store.save();
    store.moc->reset();
    EXPECT_EQ(store.all("Group").at(0)->objectCount("items"), 0u);
    EXPECT_EQ(store.all("Item").size(), 1u);
  });
}

// ---- fetching ----------------------------------------------------------------

TEST_F(ObjectStoreTest, PredicatesSortAndLimitAgreeInTheFileAndInMemory) {
  Store store(model, path);
  struct Case {
    const char* what;
    Predicate predicate;
    std::vector<std::string> expected;  // sorted by name
  };
  const std::vector<Case> cases = {
      {"equal", Predicate::equal("size", 2), {"b", "d"}},
      {"equal to absent", Predicate::equal("name", Value()), {"-"}},
      {"not equal counts absent values", Predicate::compare("flag", Predicate::Operator::notEqual, true),
       {"-", "a", "c"}},
      {"less", Predicate::compare("size", Predicate::Operator::less, 2), {"-", "a"}},
      {"greater or equal on text", Predicate::compare("name", Predicate::Operator::greaterOrEqual, "c"),
       {"c", "d"}},
      {"in", Predicate::in("name", {Value("a"), Value("d"), Value("zz")}), {"a", "d"}},
      {"in with absent", Predicate::in("name", {Value(), Value("a")}), {"-", "a"}},
      {"and", Predicate::andPredicate({Predicate::equal("size", 2), Predicate::equal("flag", true)}), {"b", "d"}},
      {"or", Predicate::orPredicate({Predicate::equal("name", "a"), Predicate::equal("size", 3)}), {"a", "c"}},
      {"not of an ordering with absent values",
       Predicate::notPredicate(Predicate::compare("created", Predicate::Operator::less, Date(25))),
       {"-", "c", "d"}},
      {"minimum", Predicate::equalToMinimum("created"), {"a"}},
      {"maximum", Predicate::compareToAggregate("size", Predicate::Operator::equal, Predicate::Aggregate::max, "size"),
       {"c"}},
      {"empty conjunction", Predicate::andPredicate({}), {"-", "a", "b", "c", "d"}},
  };
  auto run = [&](const char* phase) {
    for (const auto& c : cases) {
      FetchRequest request("Item");
      request.predicate = c.predicate;
      request.sortDescriptors = {{"name", true}};
      EXPECT_EQ(orderedNames(store.fetch(request)), c.expected) << phase << ": " << c.what << " "
                                                                << c.predicate.predicateFormat();
    }
  };
  store.run([&] {
    struct Row {
      const char* name;
      int size;
      bool flag;
      double created;
    };
    for (const Row& r : {Row{"a", 1, false, 10}, Row{"b", 2, true, 20}, Row{"c", 3, false, 30}, Row{"d", 2, true, 40},
                         Row{nullptr, 0, false, -1}}) {
      auto o = store.moc->insertNewObject("Item");
      if (r.name) o->setString("name", r.name);
      o->setInteger("size", r.size);
      o->setBoolean("flag", r.flag);
      if (r.created >= 0) o->setDate("created", Date(r.created));
    }
    run("unsaved");
    store.save();
    run("saved");
  });
}

TEST_F(ObjectStoreTest, SortDirectionAndLimitHoldWithPendingChanges) {
  Store store(model, path);
  store.run([&] {
    for (int i = 1; i <= 5; ++i) {
      auto e = store.moc->insertNewObject("Event");
      e->setDate("date", Date(i * 10));
      e->setString("type", std::string("e").append(std::to_string(i)));
    }
    store.save();
    auto events = store.all("Event");
    store.moc->deleteObject(events[0]);       // e1
    events[4]->setDate("date", Date(1));      // e5 becomes the oldest
    auto e0 = store.moc->insertNewObject("Event");
    e0->setDate("date", Date(15));
    e0->setString("type", "e0");

    FetchRequest request("Event");
    request.sortDescriptors = {{"date", true}};
    request.fetchLimit = 3;
    EXPECT_EQ(orderedNames(store.fetch(request), "type"), (std::vector<std::string>{"e5", "e0", "e2"}));
    request.sortDescriptors = {{"date", false}};
    EXPECT_EQ(orderedNames(store.fetch(request), "type"), (std::vector<std::string>{"e4", "e3", "e2"}));

    FetchRequest oldest("Event");
    oldest.predicate = Predicate::andPredicate({Predicate::equalToMinimum("date")});
    oldest.fetchLimit = 1;
    EXPECT_EQ(orderedNames(store.fetch(oldest), "type"), (std::vector<std::string>{"e5"}));

    // Only what the file holds.
    FetchRequest stored = request;
    stored.includesPendingChanges = false;
    stored.fetchLimit = 0;
    EXPECT_EQ(orderedNames(store.fetch(stored), "type"),
              (std::vector<std::string>{"e5", "e4", "e3", "e2", "e1"}));  // e5 still at 50 in the file
    oldest.includesPendingChanges = false;
    EXPECT_EQ(orderedNames(store.fetch(oldest), "type"), (std::vector<std::string>{"e1"}));
  });
}

TEST_F(ObjectStoreTest, BadRequestsAreErrorsNotCrashes) {
  Store store(model, path);
  store.run([&] {
    Error error;
    EXPECT_FALSE(store.moc->fetch(FetchRequest("Nope"), &error));
    EXPECT_EQ(error.code, ObjectStoreError::invalidRequest);
    FetchRequest badKey("Item");
    badKey.predicate = Predicate::equal("path", "x");  // declared by a sub-entity only
    EXPECT_FALSE(store.moc->fetch(badKey, &error));
    FetchRequest badType("Item");
    badType.predicate = Predicate::equal("size", "ten");
    EXPECT_FALSE(store.moc->fetch(badType, &error));
    FetchRequest badSort("Item");
    badSort.sortDescriptors = {{"nope", true}};
    EXPECT_FALSE(store.moc->fetch(badSort, &error));
    EXPECT_FALSE(store.moc->insertNewObject("Nope"));
  });
}

// ---- batch delete ----------------------------------------------------------------

TEST_F(ObjectStoreTest, BatchDeleteEvictsLoadedObjectsSoALaterSaveSucceeds) {
  Store store(model, path);
  store.run([&] {
    auto group = store.moc->insertNewObject("Group");
    auto history = store.moc->insertNewObject("History");
    group->setObject("history", history);
    for (const char* name : {"keep", "drop"}) {
      auto f = store.moc->insertNewObject("FileItem");
      f->setString("name", name);
      group->addObject("items", f);
    }
    store.save();
    auto files = store.all("FileItem");
    ASSERT_EQ(group->objectCount("items"), 2u);

    FetchRequest request("Item");
    request.predicate = Predicate::orPredicate({Predicate::equal("name", "drop"), Predicate::equal("name", Value())});
    Error error;
    auto deleted = store.moc->executeBatchDelete(request, &error);
    ASSERT_TRUE(deleted) << ObjectStoreError::describe(error);
    EXPECT_EQ(deleted->size(), 3u);  // the group, the dropped file, and the history by cascade
    for (auto& f : files) {
      // The loaded objects no longer belong to the context; changing them is harmless.
      if (f->string("name") == "drop") {
        EXPECT_EQ(f->managedObjectContext(), nullptr);
        f->setString("name", "changed");
      } else {
        EXPECT_EQ(f->objectCount("groups"), 0u);
        f->setInteger("size", 7);
      }
    }
    EXPECT_TRUE(store.moc->save(&error)) << ObjectStoreError::describe(error);
    store.moc->reset();
    EXPECT_EQ(names(store.all("Item")), (std::set<std::string>{"keep"}));
    EXPECT_EQ(store.all("Item").at(0)->integer("size"), 7);
    EXPECT_TRUE(store.all("History").empty());
  });
}

TEST_F(ObjectStoreTest, AFailedSaveKeepsTheFileAndTheContextsChanges) {
  Store store(model, path);
  Store other(model, path);
  ManagedObjectPtr doc;
  store.run([&] {
    doc = store.moc->insertNewObject("Doc");
    store.save();
  });
  other.run([&] { ASSERT_TRUE(other.moc->executeBatchDelete(FetchRequest("Doc"))); });
  store.run([&] {
    doc->setString("title", "changed");
    store.moc->insertNewObject("Doc")->setString("title", "new");
    Error error;
    EXPECT_FALSE(store.moc->save(&error));
    EXPECT_EQ(error.code, ObjectStoreError::conflict);
    EXPECT_TRUE(store.moc->hasChanges());
    EXPECT_TRUE(doc->isUpdated());
  });
  other.run([&] { EXPECT_TRUE(other.all("Doc").empty()); });  // the new one was not written either
}

// ---- saving -------------------------------------------------------------------

TEST_F(ObjectStoreTest, SaveWithoutChangesLeavesTheFileAlone) {
  Store store(model, path);
  store.run([&] {
    store.moc->insertNewObject("Doc");
    store.save();
  });
  struct stat before {}, beforeWal {};
  ::stat(path.c_str(), &before);
  ::stat((path + "-wal").c_str(), &beforeWal);
  store.run([&] {
    EXPECT_FALSE(store.moc->hasChanges());
    store.all("Doc").at(0)->setString("title", std::nullopt);
    EXPECT_FALSE(store.moc->hasChanges());  // the same value again is no change
    store.save();
  });
  struct stat after {}, afterWal {};
  ::stat(path.c_str(), &after);
  ::stat((path + "-wal").c_str(), &afterWal);
  EXPECT_EQ(before.st_size, after.st_size);
  EXPECT_EQ(beforeWal.st_size, afterWal.st_size);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  EXPECT_EQ(beforeWal.st_mtim.tv_nsec, afterWal.st_mtim.tv_nsec);
}

TEST_F(ObjectStoreTest, ALargeTreeSavesInOneGoAndLoadsBack) {
  constexpr int kItems = 20000;
  {
    Store store(model, path);
    store.run([&] {
      auto group = store.moc->insertNewObject("Group");
      group->setString("name", "top");
      for (int i = 0; i < kItems; ++i) {
        auto f = store.moc->insertNewObject("FileItem");
        f->setString("path", "/Users/u/file" + std::to_string(i));
        f->setInteger("size", i);
        group->addObject("items", f);
      }
      store.save();
      // Replace them, as a new scan would.
      for (auto& f : group->objects("items")) store.moc->deleteObject(f);
      for (int i = 0; i < kItems; ++i) {
        auto f = store.moc->insertNewObject("FileItem");
        f->setInteger("size", 1);
        group->addObject("items", f);
      }
      store.save();
    });
  }
  Store store(model, path);
  store.run([&] {
    EXPECT_EQ(*store.moc->count(FetchRequest("FileItem")), static_cast<std::size_t>(kItems));
    auto group = store.all("Group").at(0);
    auto items = group->objects("items");
    ASSERT_EQ(items.size(), static_cast<std::size_t>(kItems));
    std::int64_t total = 0;
    for (auto& f : items) total += f->integer("size");
    EXPECT_EQ(total, kItems);
  });
}

// ---- queue ---------------------------------------------------------------------

TEST_F(ObjectStoreTest, PerformRunsInOrderAndPerformAndWaitNestsOnTheQueue) {
  Store store(model, path);
  std::vector<int> order;
  DispatchSemaphore done;
  for (int i = 0; i < 50; ++i) store.moc->perform([&, i] { order.push_back(i); });
  store.moc->perform([&] {
    store.moc->performAndWait([&] { order.push_back(50); });  // already on the queue: runs at once
    store.moc->insertNewObject("Doc");
    done.signal();
  });
  done.wait();
  store.run([&] { EXPECT_TRUE(store.moc->hasChanges()); });
  ASSERT_EQ(order.size(), 51u);
  for (int i = 0; i <= 50; ++i) EXPECT_EQ(order[i], i);
}

#ifndef NDEBUG
TEST_F(ObjectStoreTest, UseOutsideTheContextQueueStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Store store(model, path);
        store.moc->insertNewObject("Doc");
      },
      "outside perform");
}
#endif

// ---- migration -----------------------------------------------------------------

TEST_F(ObjectStoreTest, ANewerModelOpensAnOlderFileAndKeepsItsRows) {
  {
    Store store(model, path);
    store.run([&] {
      auto group = store.moc->insertNewObject("Group");
      group->setString("name", "old");
      auto f = store.moc->insertNewObject("FileItem");
      f->setString("name", "file");
      group->addObject("items", f);
      store.save();
    });
  }
  auto next = baseModel();
  next.entity("Item").attribute("rating", AttributeType::integer64).defaultValue(Value(5));
  next.entity("Item").attribute("note", AttributeType::string);
  next.entity("Tag").attribute("label", AttributeType::string).toMany("docs", "Doc", "tags");
  next.entity("Doc").toMany("tags", "Tag", "docs");
  auto newer = makeModel(next);
  {
    Store store(newer, path);
    ASSERT_TRUE(store.ok) << store.failure;
    store.run([&] {
      auto items = store.all("Item");
      ASSERT_EQ(items.size(), 2u);
      EXPECT_EQ(names(items), (std::set<std::string>{"old", "file"}));
      for (auto& i : items) {
        EXPECT_EQ(i->integer("rating"), 5);
        EXPECT_FALSE(i->string("note"));
      }
      auto group = store.all("Group").at(0);
      EXPECT_EQ(group->objectCount("items"), 1u);
      group->setString("note", "kept");
      auto tag = store.moc->insertNewObject("Tag");
      tag->addObject("docs", store.moc->insertNewObject("Doc"));
      store.save();
    });
  }
  // The older model still reads the file.
  Store older(model, path);
  ASSERT_TRUE(older.ok) << older.failure;
  older.run([&] { EXPECT_EQ(older.all("Item").size(), 2u); });
}

TEST_F(ObjectStoreTest, AModelThatMovesAnEntityToAnotherTreeIsRefused) {
  { Store store(model, path); }
  ManagedObjectModel::Builder b;
  b.entity("Root");
  b.entity("Doc").parent("Root");
  Store store(makeModel(b), path);
  EXPECT_FALSE(store.ok);
  EXPECT_NE(store.failure.find("moved"), std::string::npos) << store.failure;
}

TEST_F(ObjectStoreTest, BatchDeleteEvictsObjectsNobodyElseHolds) {
  Store store(model, path);
  store.run([&] {
    for (int i = 0; i < 3; ++i) store.moc->insertNewObject("Doc");
    store.save();
    EXPECT_EQ(store.all("Doc").size(), 3u);  // loaded, then only the context holds them
    const std::size_t before = store.moc->registeredObjectCount();
    auto deleted = store.moc->executeBatchDelete(FetchRequest("Doc"));
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->size(), 3u);
    EXPECT_EQ(store.moc->registeredObjectCount(), before - 3);
    EXPECT_TRUE(store.all("Doc").empty());
  });
}
