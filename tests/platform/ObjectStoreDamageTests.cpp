#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/ObjectStoreError.h"
#include "platform/store/PersistentStoreCoordinator.h"
#include "platform/store/SQLiteStoreFiles.h"
#include "support/StoreDamage.h"
#include "support/TempRoot.h"

using namespace vozi::platform;
namespace fs = std::filesystem;

// A store file that SQLite reports damaged is never used: a plain open
// refuses it with a corruptStore error, and the replacing open moves it and
// its companions aside (kept, not deleted) and starts a new store.
namespace {

constexpr int kRows = 5000;

std::shared_ptr<const ManagedObjectModel> model() {
  ManagedObjectModel::Builder b;
  b.entity("Row").attribute("size", AttributeType::integer64).attribute("label", AttributeType::string);
  return b.build();
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// A connection of its own on the file, for locks held from outside.
struct PlainDB {
  explicit PlainDB(const std::string& path) { EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK); }
  ~PlainDB() { sqlite3_close(db); }
  int exec(const std::string& sql) const { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }
  sqlite3* db = nullptr;
};

class ObjectStoreDamageTest : public ::testing::Test {
 protected:
  vozi::test::TempRoot root;
  std::string folder = root.makeDirectory("/Library/Application Support/div.ez.iru");
  std::string path = folder + "/Damage.sqlite";

  // A real store with many rows, closed (so its log is folded into the file).
  void writeStore() {
    auto psc = std::make_shared<PersistentStoreCoordinator>(model());
    Error error;
    ASSERT_TRUE(psc->addSQLiteStore(path, &error)) << ObjectStoreError::describe(error);
    ManagedObjectContext moc(psc, "div.ez.iru.test.damage.write");
    moc.performAndWait([&] {
      for (int i = 0; i < kRows; ++i) {
        auto row = moc.insertNewObject("Row");
        row->setInteger("size", i);
        row->setString("label", "row " + std::to_string(i));
      }
      ASSERT_TRUE(moc.save(&error)) << ObjectStoreError::describe(error);
    });
  }

  std::size_t rowCount(PersistentStoreCoordinator& psc) {
    ManagedObjectContext moc(std::shared_ptr<PersistentStoreCoordinator>(&psc, [](auto*) {}),
                             "div.ez.iru.test.damage.read");
    return moc.performAndWaitResult([&] { return moc.count(FetchRequest("Row")).value_or(9999999); });
  }

  std::vector<std::string> asideNames() {
    std::vector<std::string> names;
    for (const auto& set : SQLiteStoreFiles::corruptSets(path)) names.push_back(fs::path(set).filename().string());
    return names;
  }
};

}  // namespace

TEST_F(ObjectStoreDamageTest, ADamagedFileIsRefusedThenMovedAsideWithItsCompanionsAndReplaced) {
  struct Case {
    const char* what;
    std::function<void()> damage;
  };
  const Case cases[] = {
      {"garbage in a table page",
       [this] {
         writeStore();
         ASSERT_TRUE(vozi::test::damageTablePage(path, "ZROW"));
       }},
      {"not a database at all", [this] { writeFile(path, std::string(8192, 'z')); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& set : SQLiteStoreFiles::corruptSets(path))
      for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(set + suffix);
    c.damage();
    writeFile(path + "-wal", "the log of the damaged file");
    const std::string damaged = readFile(path);

    // A plain open refuses the file and leaves it as it is.
    {
      auto psc = std::make_shared<PersistentStoreCoordinator>(model());
      Error error;
      EXPECT_FALSE(psc->addSQLiteStore(path, &error));
      EXPECT_TRUE(ObjectStoreError::isCorruption(error)) << ObjectStoreError::describe(error);
      EXPECT_EQ(readFile(path), damaged);
    }

    auto psc = std::make_shared<PersistentStoreCoordinator>(model());
    auto added = psc->addSQLiteStoreReplacingCorrupt(path);
    ASSERT_TRUE(added) << ObjectStoreError::describe(added.error());
    ASSERT_TRUE(added->has_value());
    const auto& replaced = **added;
    EXPECT_FALSE(replaced.reason.empty());
    EXPECT_EQ(fs::path(replaced.asidePath).parent_path(), fs::path(folder));
    EXPECT_TRUE(fs::path(replaced.asidePath).filename().string().starts_with("Damage.sqlite.corrupt-"))
        << replaced.asidePath;
    // The evidence, byte for byte, under the dated name.
    EXPECT_EQ(readFile(replaced.asidePath), damaged);
    EXPECT_EQ(readFile(replaced.asidePath + "-wal"), "the log of the damaged file");
    EXPECT_EQ(SQLiteStoreFiles::corruptSets(path), std::vector<std::string>{replaced.asidePath});
    EXPECT_FALSE(SQLiteStoreFiles::isMarkedCorrupt(path));
    // The new store is empty, sound and usable.
    EXPECT_EQ(rowCount(*psc), 0u);
    psc->removeStore();
    EXPECT_EQ(vozi::test::plainSQL(path, "PRAGMA integrity_check"), "ok");
  }
}

TEST_F(ObjectStoreDamageTest, ASoundFileIsKeptAndAReplacingOpenChangesNothing) {
  writeStore();
  auto psc = std::make_shared<PersistentStoreCoordinator>(model());
  auto added = psc->addSQLiteStoreReplacingCorrupt(path);
  ASSERT_TRUE(added) << ObjectStoreError::describe(added.error());
  EXPECT_FALSE(added->has_value());
  EXPECT_EQ(rowCount(*psc), static_cast<std::size_t>(kRows));
  EXPECT_TRUE(asideNames().empty());
}

TEST_F(ObjectStoreDamageTest, OnlyTheLastThreeDamagedSetsAreKept) {
  // An older set from an earlier day, and names that only look alike.
  writeFile(path + ".corrupt-20200101T000000Z", "oldest");
  writeFile(path + ".corrupt-20200101T000000Z-wal", "oldest log");
  writeFile(path + ".corrupt-notes", "not a set");
  writeFile(folder + "/Other.sqlite.corrupt-20200101T000000Z", "another store's set");
  std::vector<std::string> asides;
  for (char round : std::string("abcd")) {
    writeFile(path, std::string(4096, round));
    writeFile(path + "-wal", std::string("log ") + round);
    auto psc = std::make_shared<PersistentStoreCoordinator>(model());
    auto added = psc->addSQLiteStoreReplacingCorrupt(path);
    ASSERT_TRUE(added) << ObjectStoreError::describe(added.error());
    ASSERT_TRUE(added->has_value()) << round;
    asides.push_back((*added)->asidePath);
  }
  // Rounds b, c and d, oldest first, each with its own log; the old day's set
  // and round a are gone, companions included.
  const auto kept = SQLiteStoreFiles::corruptSets(path);
  ASSERT_EQ(kept, (std::vector<std::string>{asides[1], asides[2], asides[3]}));
  for (std::size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(readFile(kept[i]), std::string(4096, "bcd"[i]));
    EXPECT_EQ(readFile(kept[i] + "-wal"), std::string("log ") + "bcd"[i]);
  }
  EXPECT_FALSE(fs::exists(asides[0]));
  EXPECT_FALSE(fs::exists(asides[0] + "-wal"));
  EXPECT_FALSE(fs::exists(path + ".corrupt-20200101T000000Z"));
  EXPECT_FALSE(fs::exists(path + ".corrupt-20200101T000000Z-wal"));
  EXPECT_TRUE(fs::exists(path + ".corrupt-notes"));
  EXPECT_TRUE(fs::exists(folder + "/Other.sqlite.corrupt-20200101T000000Z"));
}

TEST_F(ObjectStoreDamageTest, MovingAsideRenamesLinksAsLinksAndNeverFollowsOne) {
  const std::string outside = root.writeFile("/elsewhere/victim", "must stay where it is");
  const Date when = Date::fromTimeIntervalSince1970(1709251199);  // 2024-02-29 23:59:59 UTC
  writeFile(path, "damaged");
  fs::create_symlink(outside, path + "-journal");
  auto moved = SQLiteStoreFiles::moveAside(path, when);
  ASSERT_TRUE(moved) << moved.error().localizedDescription();
  EXPECT_EQ(*moved, folder + "/Damage.sqlite.corrupt-20240229T235959Z");
  EXPECT_TRUE(fs::is_symlink(*moved + "-journal"));
  EXPECT_EQ(readFile(*moved), "damaged");
  // The same second again gets a second number rather than replacing anything.
  writeFile(path, "damaged again");
  auto again = SQLiteStoreFiles::moveAside(path, when);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *moved + "-2");
  EXPECT_EQ(readFile(*moved), "damaged");

  // A mark is never written through a link.
  fs::create_symlink(outside, path + "-corrupt");
  EXPECT_FALSE(SQLiteStoreFiles::markCorrupt(path, "reason"));
  // A store whose folder is a link is not moved at all.
  const std::string linkedFolder = root.makeDirectory("/linked");
  fs::create_symlink(folder, linkedFolder + "/folder");
  writeFile(path, "damaged a third time");
  EXPECT_FALSE(SQLiteStoreFiles::moveAside(linkedFolder + "/folder/Damage.sqlite", when));
  EXPECT_EQ(readFile(path), "damaged a third time");
  EXPECT_EQ(readFile(outside), "must stay where it is");
}

TEST_F(ObjectStoreDamageTest, ABusyFileIsNotTakenForADamagedOne) {
  writeStore();
  // Another connection holds the write lock for the whole open.
  PlainDB other(path);
  ASSERT_EQ(other.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
  auto psc = std::make_shared<PersistentStoreCoordinator>(model());
  auto added = psc->addSQLiteStoreReplacingCorrupt(path);
  ASSERT_FALSE(added);
  EXPECT_FALSE(ObjectStoreError::isCorruption(added.error())) << ObjectStoreError::describe(added.error());
  EXPECT_EQ(added.error().userInfo.at("SQLiteCode").asInt64().value_or(0) & 0xff, SQLITE_BUSY);
  EXPECT_FALSE(SQLiteStoreFiles::isMarkedCorrupt(path));
  EXPECT_TRUE(asideNames().empty());
  // Once the lock is gone the same file opens with all its rows.
  other.exec("ROLLBACK");
  auto later = std::make_shared<PersistentStoreCoordinator>(model());
  ASSERT_TRUE(later->addSQLiteStore(path));
  EXPECT_EQ(rowCount(*later), static_cast<std::size_t>(kRows));
}

TEST_F(ObjectStoreDamageTest, DamageFoundWhileRunningIsAnErrorAndTheNextOpenChecksInFullAndMovesTheFileAside) {
  writeStore();
  auto psc = std::make_shared<PersistentStoreCoordinator>(model());
  ASSERT_TRUE(psc->addSQLiteStore(path));
  // A write from another connection, folded into the file, makes the store
  // drop its cached pages at its next read; then the file is damaged under it.
  {
    PlainDB other(path);
    ASSERT_EQ(other.exec("UPDATE Z_METADATA SET Z_VALUE = Z_VALUE"), SQLITE_OK);
    ASSERT_EQ(other.exec("PRAGMA wal_checkpoint(TRUNCATE)"), SQLITE_OK);
  }
  ASSERT_TRUE(vozi::test::damageTablePage(path, "ZROW"));

  ManagedObjectContext moc(psc, "div.ez.iru.test.damage.running");
  Error error;
  const bool fetched = moc.performAndWaitResult([&] { return moc.fetch(FetchRequest("Row"), &error).has_value(); });
  ASSERT_FALSE(fetched);
  EXPECT_TRUE(ObjectStoreError::isCorruption(error)) << ObjectStoreError::describe(error);
  EXPECT_TRUE(SQLiteStoreFiles::isMarkedCorrupt(path));
  psc->removeStore();

  auto next = std::make_shared<PersistentStoreCoordinator>(model());
  auto added = next->addSQLiteStoreReplacingCorrupt(path);
  ASSERT_TRUE(added) << ObjectStoreError::describe(added.error());
  ASSERT_TRUE(added->has_value());
  EXPECT_NE((*added)->reason.find("integrity_check"), std::string::npos) << (*added)->reason;
  EXPECT_FALSE(SQLiteStoreFiles::isMarkedCorrupt(path));
}

TEST_F(ObjectStoreDamageTest, AMarkOnASoundFileCostsOneFullCheckAndIsThenCleared) {
  writeStore();
  ASSERT_TRUE(SQLiteStoreFiles::markCorrupt(path, "a read failed once"));
  auto psc = std::make_shared<PersistentStoreCoordinator>(model());
  auto added = psc->addSQLiteStoreReplacingCorrupt(path);
  ASSERT_TRUE(added) << ObjectStoreError::describe(added.error());
  EXPECT_FALSE(added->has_value());
  EXPECT_FALSE(SQLiteStoreFiles::isMarkedCorrupt(path));
  EXPECT_EQ(rowCount(*psc), static_cast<std::size_t>(kRows));
}
