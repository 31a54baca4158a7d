#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/DispatchSemaphore.h"
#include "platform/store/SQLiteStoreFiles.h"
#include "store/ManagedObjectContextRead.h"
#include "store/ZOLCoreDataManager.h"
#include "store/ZOLData.h"
#include "support/DeathLog.h"
#include "support/StoreDamage.h"
#include "support/TempRoot.h"

using namespace vozi;

namespace {

struct Stop {
  const char* what;
  std::function<void()> statement;
  const char* message;  // on standard error and in the log
};

// Points the host root at a folder for as long as it lives.
class HostRootAt {
 public:
  explicit HostRootAt(const std::string& folder) {
    if (const char* current = std::getenv("VOZI_ROOT")) previous_ = current;
    ::setenv("VOZI_ROOT", folder.c_str(), 1);
  }
  ~HostRootAt() {
    if (previous_)
      ::setenv("VOZI_ROOT", previous_->c_str(), 1);
    else
      ::unsetenv("VOZI_ROOT");
  }
  HostRootAt(const HostRootAt&) = delete;
  HostRootAt& operator=(const HostRootAt&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace

TEST(StoreFatalStopDeathTest, TheStoreLayersStopsReachTheLogFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::DeathLog log;
  const Stop stops[] = {
      {"a read of an entity the model does not have",
       [] {
         test::TempRoot root;
         ZOLData data;
         data.moc()->performAndWait([&] { ManagedObjectContextRead::read(*data.moc(), "NoSuchEntity"); });
       },
       "Fatal error: Can't read entity NoSuchEntity: "},
      {"the manager destroyed inside its own completion",
       [] {
         test::TempRoot root;
         auto* manager = new ZOLCoreDataManager();
         platform::DispatchSemaphore never(0);
         manager->loadOrCreateItemGroups({ItemGroupName::userCache},
                                         [manager](std::vector<ItemGroupPtr>) { delete manager; });
         never.wait(std::chrono::seconds(60));
       },
       "ZOLCoreDataManager destroyed from a block of its own queue"},
  };
  for (const Stop& stop : stops) {
    log.clear();
    EXPECT_DEATH(stop.statement(), testing::HasSubstr(stop.message)) << stop.what;
    EXPECT_NE(log.contents().find(stop.message), std::string::npos) << stop.what << "\n" << log.contents();
  }
}

// Rows read from a damaged file must not become answers or cleans, and more
// writes could spread the damage: the daemon stops at once, with the reason
// in its log, and the file is marked; the next start checks it in full and
// replaces it, keeping the damaged one aside.
TEST(StoreFatalStopDeathTest, DamageFoundWhileRunningStopsAndTheNextStartReplacesTheFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::DeathLog log;
  HostRootAt root(log.root());
  const std::string path = log.root() + "/Library/Application Support/div.ez.iru/ZOL.sqlite";
  EXPECT_DEATH(
      {
        ZOLData data;
        data.store(ZOLMPreferences());
        // Another connection's write, folded into the file, makes the store
        // drop its cached pages; then the file is damaged under it.
        sqlite3* other = nullptr;
        sqlite3_open(path.c_str(), &other);
        sqlite3_exec(other, "UPDATE Z_METADATA SET Z_VALUE = Z_VALUE", nullptr, nullptr, nullptr);
        sqlite3_exec(other, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        if (!test::damageTablePage(path, "ZMOPreferences")) std::exit(0);
        data.getPreferences();
        std::exit(0);
      },
      testing::HasSubstr("Fatal error: Can't read entity MOPreferences: "));
  EXPECT_NE(log.contents().find("Fatal error: Can't read entity MOPreferences: "), std::string::npos)
      << log.contents();
  EXPECT_TRUE(platform::SQLiteStoreFiles::isMarkedCorrupt(path));

  {
    ZOLData data;
    EXPECT_FALSE(data.getPreferences());
  }
  EXPECT_NE(log.contents().find("is damaged"), std::string::npos) << log.contents();
  EXPECT_EQ(platform::SQLiteStoreFiles::corruptSets(path).size(), 1u);
  EXPECT_FALSE(platform::SQLiteStoreFiles::isMarkedCorrupt(path));
}
