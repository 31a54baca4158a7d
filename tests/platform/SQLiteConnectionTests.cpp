#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/store/SQLiteConnection.h"
#include "support/PhotosLibraryFixture.h"
#include "support/TempRoot.h"

namespace vozi::platform {
namespace {

namespace fs = std::filesystem;

class SQLiteConnectionTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  const std::string db = root / "/library.db";

  SQLiteConnectionTest() { test::PhotosLibraryFixture::execute(db, "CREATE TABLE t (id INTEGER, name TEXT);"); }
};

TEST_F(SQLiteConnectionTest, OpensOnlyAnExistingFileThatIsNoLink) {
  EXPECT_TRUE(SQLiteConnection::open(db));
  EXPECT_FALSE(SQLiteConnection::open(root / "/missing.db"));
  EXPECT_FALSE(fs::exists(root / "/missing.db"));
  fs::create_symlink(db, root / "/link.db");
  EXPECT_FALSE(SQLiteConnection::open(root / "/link.db"));
  std::ofstream(root / "/not-a-database") << "plain words, no database here at all, long enough to be read";
  const auto notADatabase = SQLiteConnection::open(root / "/not-a-database");
  ASSERT_FALSE(notADatabase);
  EXPECT_NE(notADatabase.error().userInfo.count("SQLiteCode"), 0u);
}

TEST_F(SQLiteConnectionTest, ListsOfAnyLengthRowsByNameAndSavepoints) {
  auto opened = SQLiteConnection::open(db);
  ASSERT_TRUE(opened);
  SQLiteConnection& connection = **opened;
  std::vector<Value> ids;
  for (long long id = 0; id < 70000; ++id) ids.emplace_back(id);
  ASSERT_TRUE(connection.begin());
  ASSERT_TRUE(connection.execute(
      "WITH RECURSIVE s(v) AS (SELECT 0 UNION ALL SELECT v + 1 FROM s WHERE v < 69999) "
      "INSERT INTO t SELECT v, 'n' || v FROM s"));
  ASSERT_TRUE(connection.commit());
  // More values than one statement binds at a time: several slices.
  std::int64_t count = 0;
  ASSERT_TRUE(connection.executeIn("SELECT id, name FROM t WHERE id IN ", ids, [&](const SQLiteConnection::Row& row) {
    ++count;
    EXPECT_EQ(row.text("name"), "n" + std::to_string(*row.integer("id")));
    EXPECT_FALSE(row.integer("name"));
    EXPECT_FALSE(row.text("nothing"));
  }));
  EXPECT_EQ(count, 70000);
  count = 0;
  ASSERT_TRUE(connection.executeIn("SELECT id FROM t WHERE id IN ", {}, [&](const auto&) { ++count; }));
  EXPECT_EQ(count, 0);

  ASSERT_TRUE(connection.begin());
  ASSERT_TRUE(connection.savepoint("try"));
  ASSERT_TRUE(connection.execute("DELETE FROM t WHERE id < ?", {Value(10)}));
  ASSERT_TRUE(connection.rollbackToSavepoint("try"));
  ASSERT_TRUE(connection.releaseSavepoint("try"));
  ASSERT_TRUE(connection.execute("DELETE FROM t WHERE id < ?", {Value(5)}));
  connection.rollback();
  ASSERT_TRUE(connection.execute("SELECT count(*) AS n FROM t", {},
                                 [](const SQLiteConnection::Row& row) { EXPECT_EQ(row.integer("n"), 70000); }));
}

TEST_F(SQLiteConnectionTest, NoOpFunctionsServeUntrustedTriggers) {
  test::PhotosLibraryFixture::execute(
      db, "CREATE TRIGGER gone AFTER DELETE ON t BEGIN SELECT notify(1, 2, 3); END; INSERT INTO t VALUES (1, 'a');");
  auto opened = SQLiteConnection::open(db);
  ASSERT_TRUE(opened);
  EXPECT_FALSE((*opened)->execute("DELETE FROM t"));
  ASSERT_TRUE((*opened)->registerNoOpFunction("notify", 2));
  EXPECT_FALSE((*opened)->execute("DELETE FROM t"));
  ASSERT_TRUE((*opened)->registerNoOpFunction("notify", 3));
  EXPECT_TRUE((*opened)->execute("DELETE FROM t"));
  ASSERT_TRUE((*opened)->execute("SELECT notify(7, 8, 9) AS r", {},
                                 [](const SQLiteConnection::Row& row) { EXPECT_EQ(row.integer("r"), 0); }));
}

}  // namespace
}  // namespace vozi::platform
