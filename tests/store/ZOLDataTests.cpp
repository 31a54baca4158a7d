#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "common/Logger.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentStoreCoordinator.h"
#include "platform/store/SQLiteStoreFiles.h"
#include "store/MOEvent.h"
#include "store/MOPreferences.h"
#include "store/ManagedObjectContextRead.h"
#include "store/ZOLData.h"
#include "store/ZOLModel.h"
#include "support/LogCapture.h"
#include "support/StoreDamage.h"
#include "support/TempRoot.h"

using namespace vozi;
using platform::Date;
using platform::Value;
namespace fs = std::filesystem;

namespace {

const std::string kFolder = "/Library/Application Support/div.ez.iru";

mode_t modeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

ZOLMPreferences customPreferences() {
  return ZOLMPreferences(ZOLMUpdatesCheckFrequency::monthly, false, 123456.75, false, 4096, false, false, false,
                         false, {"userCache", "trashBin"}, {"dropbox", ".svn"}, 100000000, {"Movies", "Archives"},
                         -86400);
}

ZOLEvent event(double date, ZOLEventType type, const std::string& tag) {
  return ZOLEvent(Date(date), type, {{"tag", Value(tag)}, {"n", Value(1)}, {"nested", Value(Value::Dictionary{{"x", Value(2.5)}})}});
}

class ZOLDataTest : public ::testing::Test {
 protected:
  // Runs a block on the store's queue.
  template <class F>
  auto on(ZOLData& data, F&& f) {
    return data.moc()->performAndWaitResult(std::forward<F>(f));
  }

  vozi::test::TempRoot root;
  vozi::test::LogCapture log;
};

}  // namespace

TEST_F(ZOLDataTest, AnEmptyStoreIsCreatedPrivateInTheProductFolder) {
  ZOLData data;
  EXPECT_EQ(data.storeURL(), root / (kFolder + "/ZOL.sqlite"));
  EXPECT_EQ(modeOf(root / kFolder), 0755u);
  EXPECT_EQ(modeOf(data.storeURL()), 0600u);
  EXPECT_FALSE(data.getApplicationState());
  EXPECT_GT(log.count("savedApplicationState.count=0"), 0u);
  EXPECT_FALSE(data.getTrackingData());
  EXPECT_FALSE(data.getPreferences());
  EXPECT_TRUE(data.recentGroups().empty());
  auto history = data.getCleanHistory();
  ASSERT_TRUE(history);
  on(data, [&] {
    EXPECT_TRUE(history->isInserted());
    EXPECT_FALSE(history->lastCompleteCleanDate());
  });
  EXPECT_FALSE(data.firstEvent());
  data.remove(event(1, ZOLEventType::userEvent, "x"));  // nothing to remove
  on(data, [&] { EXPECT_EQ(modeOf(data.storeURL() + "-wal"), 0600u); });
}

TEST_F(ZOLDataTest, EverythingRoundTripsThroughAnExistingStore) {
  const ZOLMPreferences preferences = customPreferences();
  ZOLTrackingData tracking;
  tracking.retrieved = true;
  tracking.clientID = "client";
  tracking.campaignID = "id";
  tracking.campaignSource = "source";
  tracking.campaignMedium = "medium";
  tracking.campaignKeyword = "keyword";
  tracking.campaignContent = "content";
  tracking.googleAdWordsID = "adwords";
  tracking.documentReferrer = "referrer";
  tracking.utmDevice = "device";
  tracking.utmMatchType = "broad";
  tracking.utmAdGroup = "group";
  const Date cleaned(712345678.125), first(700000000.5);
  {
    ZOLData data;
    data.store(preferences);
    data.store(ZOLApplicationState("user@example.com", ZOLMApplicationState("user-1")));
    data.store(tracking);
    auto history = data.getCleanHistory();
    on(data, [&] {
      history->setFirstCleanedDate(first);
      history->setLastCompleteCleanDate(cleaned);
      data.save();
    });
  }
  ZOLData data;  // the same file again
  EXPECT_EQ(data.getPreferences(), preferences);
  auto state = data.getApplicationState();
  ASSERT_TRUE(state);
  EXPECT_GT(log.count("ApplicationState read OK: "), 0u);
  auto stored = data.getTrackingData();
  ASSERT_TRUE(stored);
  auto history = data.getCleanHistory();
  on(data, [&] {
    EXPECT_EQ(state->userEmail(), "user@example.com");
    EXPECT_EQ(state->userId(), "user-1");
    EXPECT_FALSE(state->generatedUserId());
    EXPECT_TRUE(stored->retrieved());
    EXPECT_EQ(stored->clientID(), "client");
    EXPECT_EQ(stored->campaignID(), "id");
    EXPECT_EQ(stored->campaignSource(), "source");
    EXPECT_EQ(stored->campaignMedium(), "medium");
    EXPECT_EQ(stored->campaignKeyword(), "keyword");
    EXPECT_EQ(stored->campaignContent(), "content");
    EXPECT_EQ(stored->googleAdWordsID(), "adwords");
    EXPECT_EQ(stored->documentReferrer(), "referrer");
    EXPECT_EQ(stored->utmDevice(), "device");
    EXPECT_EQ(stored->utmMachType(), "broad");
    EXPECT_EQ(stored->utmAdGroup(), "group");
    EXPECT_FALSE(history->isInserted());
    EXPECT_EQ(history->lastCompleteCleanDate(), cleaned);
    EXPECT_EQ(history->firstCleanedDate(), first);
  });
  // A state without an e-mail address clears the stored one; one row stays.
  data.store(ZOLApplicationState(std::nullopt, ZOLMApplicationState("user-2")));
  on(data, [&] {
    auto rows = ManagedObjectContextRead::read(*data.moc(), ZOLData::entityNames::applicationState);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_FALSE(std::dynamic_pointer_cast<MOApplicationState>(rows[0])->userEmail());
  });
}

TEST_F(ZOLDataTest, PreferencesMapFieldByField) {
  ZOLData data;
  struct Case {
    const char* what;
    std::function<void(ZOLMPreferences&)> set;
    std::function<void(MOPreferences&)> checkStored;
    std::function<void(const ZOLMPreferences&)> checkRead;
  };
  const std::vector<Case> cases = {
      {"monthly", [](auto& p) { p.setUpdatesCheckFrequency(ZOLMUpdatesCheckFrequency::monthly); },
       [](auto& s) { EXPECT_EQ(s.updatesCheckFrequency(), "monthly"); },
       [](auto& p) { EXPECT_EQ(p.updatesCheckFrequency(), ZOLMUpdatesCheckFrequency::monthly); }},
      {"daily", [](auto& p) { p.setUpdatesCheckFrequency(ZOLMUpdatesCheckFrequency::daily); },
       [](auto& s) { EXPECT_EQ(s.updatesCheckFrequency(), "daily"); },
       [](auto& p) { EXPECT_EQ(p.updatesCheckFrequency(), ZOLMUpdatesCheckFrequency::daily); }},
      {"lists joined", [](auto& p) { p.setExcludeFromDuplicatesSearch({"dropbox", ".svn"}); },
       [](auto& s) { EXPECT_EQ(s.excludeFromDuplicatesSearch(), "dropbox,.svn"); },
       [](auto& p) { EXPECT_EQ(p.excludeFromDuplicatesSearch(), (std::vector<std::string>{"dropbox", ".svn"})); }},
      {"assistant groups are kept",
       [](auto& p) { p.setIncludeInAssistantAndBackgroundScan({"userCache", "trashBin"}); },
       [](auto& s) { EXPECT_EQ(s.includeInAssistantAndBackgroundScan(), "userCache,trashBin"); },
       [](auto& p) {
         EXPECT_EQ(p.includeInAssistantAndBackgroundScan(), (std::vector<std::string>{"userCache", "trashBin"}));
       }},
      {"empty lists stay empty",
       [](auto& p) {
         p.setExcludeFromDuplicatesSearch({});
         p.setBigFilesSearchKinds({});
         p.setIncludeInAssistantAndBackgroundScan({});
       },
       [](auto& s) { EXPECT_EQ(s.excludeFromDuplicatesSearch(), ""); },
       [](auto& p) {
         EXPECT_TRUE(p.excludeFromDuplicatesSearch().empty());
         EXPECT_TRUE(p.bigFilesSearchKinds().empty());
         EXPECT_TRUE(p.includeInAssistantAndBackgroundScan().empty());
       }},
      {"element with a comma", [](auto& p) { p.setExcludeFromDuplicatesSearch({"a,b"}); }, [](auto&) {},
       [](auto& p) { EXPECT_EQ(p.excludeFromDuplicatesSearch(), (std::vector<std::string>{"a", "b"})); }},
      {"interval as a double", [](auto& p) { p.setBigFilesLastOpenMoreThan(-2592000); },
       [](auto& s) { EXPECT_EQ(s.bigFilesLastOpenMoreThan(), -2592000.0); },
       [](auto& p) { EXPECT_EQ(p.bigFilesLastOpenMoreThan(), -2592000); }},
      {"small big-file minimum is raised", [](auto& p) { p.setBigFilesMinSize(1000); },
       [](auto& s) { EXPECT_EQ(s.bigFilesMinSize(), 1000); },
       [](auto& p) { EXPECT_EQ(p.bigFilesMinSize(), 52422800u); }},
      {"large big-file minimum is kept", [](auto& p) { p.setBigFilesMinSize(100000000); }, [](auto&) {},
       [](auto& p) { EXPECT_EQ(p.bigFilesMinSize(), 100000000u); }},
      {"size beyond the signed range", [](auto& p) { p.setMinTrashSizeToClean(UINT64_MAX); },
       [](auto& s) { EXPECT_EQ(s.minTrashSizeToClean(), INT64_MAX); },
       [](auto& p) { EXPECT_EQ(p.minTrashSizeToClean(), static_cast<std::uint64_t>(INT64_MAX)); }},
      {"remove-apps flag", [](auto& p) { p.setUseZOLToCompletelyRemoveApps(false); },
       [](auto& s) { EXPECT_EQ(s.useZOLToCompletelyRemoveApps(), Value(false)); },
       [](auto& p) { EXPECT_FALSE(p.useZOLToCompletelyRemoveApps()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ZOLMPreferences p;
    c.set(p);
    data.store(p);
    on(data, [&] {
      auto rows = ManagedObjectContextRead::read(*data.moc(), ZOLData::entityNames::preferences);
      ASSERT_EQ(rows.size(), 1u);
      c.checkStored(*std::dynamic_pointer_cast<MOPreferences>(rows.back()));
    });
    auto read = data.getPreferences();
    ASSERT_TRUE(read);
    c.checkRead(*read);
  }
}

TEST_F(ZOLDataTest, StoredPreferencesWithGapsReadSensibly) {
  ZOLData data;
  on(data, [&] {
    auto stored = std::dynamic_pointer_cast<MOPreferences>(data.moc()->insertNewObject("MOPreferences"));
    stored->setUpdatesCheckFrequency("hourly");
    stored->setBigFilesLastOpenMoreThan(std::nan(""));
    stored->setMinTrashSizeToClean(-5);
    data.save();
  });
  auto read = data.getPreferences();
  ASSERT_TRUE(read);
  EXPECT_EQ(read->updatesCheckFrequency(), ZOLMUpdatesCheckFrequency::daily);
  EXPECT_TRUE(read->useZOLToCompletelyRemoveApps());  // unset reads true
  EXPECT_TRUE(read->excludeFromDuplicatesSearch().empty());
  EXPECT_EQ(read->minTrashSizeToClean(), 0u);
  EXPECT_EQ(read->bigFilesLastOpenMoreThan(), ZOLMPreferences().bigFilesLastOpenMoreThan());
}

TEST_F(ZOLDataTest, PreferencesCanBeRemovedAndStoredAgain) {
  ZOLData data;
  data.store(customPreferences());
  ASSERT_TRUE(data.getPreferences());  // loads the stored row into the context
  data.store(std::nullopt);
  EXPECT_FALSE(data.getPreferences());
  // The removed row's object left the context with it: storing again makes
  // a new row and the save goes through.
  ZOLMPreferences next;
  next.setMinTrashSizeToClean(77);
  data.store(next);
  EXPECT_EQ(data.getPreferences()->minTrashSizeToClean(), 77u);
  on(data, [&] {
    EXPECT_EQ(ManagedObjectContextRead::read(*data.moc(), ZOLData::entityNames::preferences).size(), 1u);
  });
}

TEST_F(ZOLDataTest, WithTwoPreferenceRowsTheLastOneIsUsed) {
  ZOLData data;
  on(data, [&] {
    for (int size : {111, 222}) {
      auto stored = std::dynamic_pointer_cast<MOPreferences>(data.moc()->insertNewObject("MOPreferences"));
      stored->update(ZOLMPreferences());
      stored->setMinTrashSizeToClean(size);
    }
    data.save();
  });
  EXPECT_EQ(data.getPreferences()->minTrashSizeToClean(), 222u);
  ZOLMPreferences next;
  next.setMinTrashSizeToClean(333);
  data.store(next);
  on(data, [&] {
    auto rows = ManagedObjectContextRead::read(*data.moc(), ZOLData::entityNames::preferences);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::dynamic_pointer_cast<MOPreferences>(rows[0])->minTrashSizeToClean(), 111);
    EXPECT_EQ(std::dynamic_pointer_cast<MOPreferences>(rows[1])->minTrashSizeToClean(), 333);
  });
}

TEST_F(ZOLDataTest, QueuedEventsComeBackOldestFirstAcrossARestart) {
  const ZOLEvent later = event(2000.5, ZOLEventType::userEvent, "later");
  const ZOLEvent earlier = event(1000.25, ZOLEventType::cleanResults, "earlier");
  {
    ZOLData data;
    data.store(later);
    data.store(earlier);
    on(data, [&] {
      auto rows = ManagedObjectContextRead::read(*data.moc(), ZOLData::entityNames::event);
      ASSERT_EQ(rows.size(), 2u);
      EXPECT_EQ(std::dynamic_pointer_cast<MOEvent>(rows[1])->eventType(), "cleanResults");
    });
  }
  ZOLData data;
  EXPECT_EQ(data.firstEvent(), earlier);
  data.remove(earlier);
  EXPECT_EQ(data.firstEvent(), later);
  data.remove(later);
  EXPECT_FALSE(data.firstEvent());
}

TEST_F(ZOLDataTest, RemoveTakesEveryEqualEventAndOnlyThose) {
  ZOLData data;
  const ZOLEvent a = event(500, ZOLEventType::userEvent, "a");
  const ZOLEvent sameDateOtherType = event(500, ZOLEventType::cleanResults, "a");
  const ZOLEvent sameDateOtherBody = event(500, ZOLEventType::userEvent, "b");
  data.store(a);
  data.store(a);
  data.store(sameDateOtherType);
  data.store(sameDateOtherBody);
  data.remove(a);
  on(data, [&] { EXPECT_EQ(ManagedObjectContextRead::read(*data.moc(), "MOEvent").size(), 2u); });
  data.remove(sameDateOtherType);
  EXPECT_EQ(data.firstEvent(), sameDateOtherBody);
}

TEST_F(ZOLDataTest, AnUnreadableStoredEventIsDroppedInsteadOfBlockingTheQueue) {
  ZOLData data;
  const ZOLEvent good = event(300, ZOLEventType::userEvent, "good");
  data.store(good);
  on(data, [&] {
    struct Bad {
      double date;
      const char* type;
      std::string body;
    };
    for (const Bad& bad : {Bad{100, "userEvent", "not json"}, Bad{150, "somethingElse", "{}"},
                           Bad{200, "cleanResults", "[1, 2]"}}) {
      auto record = std::dynamic_pointer_cast<MOEvent>(data.moc()->insertNewObject("MOEvent"));
      record->setDate(Date(bad.date));
      record->setEventType(bad.type);
      record->setBackendJsonRepresentationData(platform::Data(bad.body.begin(), bad.body.end()));
    }
    data.save();
  });
  EXPECT_EQ(data.firstEvent(), good);
  EXPECT_GT(log.count("Dropping stored event that cannot be read back"), 0u);
  on(data, [&] { EXPECT_EQ(ManagedObjectContextRead::read(*data.moc(), "MOEvent").size(), 1u); });
}

TEST_F(ZOLDataTest, RecentGroupsGiveTheNewestRunOfEachKnownGroup) {
  ZOLData data;
  on(data, [&] {
    struct Run {
      const char* name;
      double created;
      std::int64_t size;
    };
    for (const Run& run : {Run{"Duplicates", 10, 1}, Run{"Duplicates", 30, 3}, Run{"Duplicates", 20, 2},
                           Run{"System", 5, 7}, Run{"NoSuchGroup", 99, 9}}) {
      auto group = std::dynamic_pointer_cast<MOScanGroup>(data.moc()->insertNewObject("MOScanGroup"));
      group->setName(run.name);
      group->setCreated(Date(run.created));
      group->setSize(run.size);
    }
    data.save();
  });
  auto groups = data.recentGroups();
  on(data, [&] {
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]->name(), "System");
    EXPECT_EQ(groups[1]->name(), "Duplicates");
    EXPECT_EQ(groups[1]->size(), 3);
  });
}

TEST_F(ZOLDataTest, AStoreWrittenByAnOlderModelOpensAndKeepsItsRows) {
  // An older layout without the remove-apps flag and without the event queue.
  {
    platform::ManagedObjectModel::Builder b;
    b.entity("MOPreferences")
        .attribute("minTrashSizeToClean", platform::AttributeType::integer64)
        .attribute("excludeFromDuplicatesSearch", platform::AttributeType::string);
    b.entity("TrackingData").attribute("clientID", platform::AttributeType::string);
    auto psc = std::make_shared<platform::PersistentStoreCoordinator>(b.build());
    root.makeDirectory(kFolder);
    ASSERT_TRUE(psc->addSQLiteStore(root / (kFolder + "/ZOL.sqlite")));
    platform::ManagedObjectContext moc(psc, "div.ez.iru.test.older");
    moc.performAndWait([&] {
      auto p = moc.insertNewObject("MOPreferences");
      p->setInteger("minTrashSizeToClean", 4242);
      p->setString("excludeFromDuplicatesSearch", ".git,.hg");
      moc.insertNewObject("TrackingData")->setString("clientID", "old-client");
      ASSERT_TRUE(moc.save());
    });
  }
  ZOLData data;
  auto preferences = data.getPreferences();
  ASSERT_TRUE(preferences);
  EXPECT_EQ(preferences->minTrashSizeToClean(), 4242u);
  EXPECT_EQ(preferences->excludeFromDuplicatesSearch(), (std::vector<std::string>{".git", ".hg"}));
  EXPECT_TRUE(preferences->useZOLToCompletelyRemoveApps());
  auto tracking = data.getTrackingData();
  on(data, [&] { EXPECT_EQ(tracking->clientID(), "old-client"); });
  data.store(event(1, ZOLEventType::userEvent, "new"));
  EXPECT_TRUE(data.firstEvent());
}

TEST_F(ZOLDataTest, EntityNamesDifferFromClassNamesWhereTheModelSaysSo) {
  ZOLData data;
  data.store(ZOLTrackingData{});
  data.getCleanHistory();
  on(data, [&] {
    EXPECT_TRUE(std::dynamic_pointer_cast<MOTrackingData>(ManagedObjectContextRead::read(*data.moc(), "TrackingData").at(0)));
    EXPECT_TRUE(std::dynamic_pointer_cast<MOCleanHistory>(ManagedObjectContextRead::read(*data.moc(), "CleanHistory").at(0)));
  });
}

// ---- a damaged store file ------------------------------------------------------------

TEST_F(ZOLDataTest, ADamagedStoreFileIsMovedAsideAndClientsSeeDefaultsAgain) {
  {
    ZOLData data;
    data.store(customPreferences());
    auto history = data.getCleanHistory();
    on(data, [&] {
      history->setLastCompleteCleanDate(Date(712345678.125));
      data.save();
    });
  }
  const std::string path = root / (kFolder + "/ZOL.sqlite");
  ASSERT_TRUE(vozi::test::damageTablePage(path, "ZMOPreferences"));
  std::ifstream before(path, std::ios::binary);
  const std::string damaged((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());

  ZOLData data;  // comes up on a new, empty store
  EXPECT_FALSE(data.getPreferences());
  auto history = data.getCleanHistory();
  ASSERT_TRUE(history);
  on(data, [&] { EXPECT_FALSE(history->lastCompleteCleanDate()); });

  const auto lines = log.linesContaining("is damaged");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(path), std::string::npos) << lines[0];
  const auto aside = platform::SQLiteStoreFiles::corruptSets(path);
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_NE(lines[0].find(aside[0]), std::string::npos) << lines[0];
  std::ifstream kept(aside[0], std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>()), damaged);
}

// ---- fatal stops ------------------------------------------------------------------

TEST(ZOLStoreFatalStops, EachFailureStopsWithItsFixedMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH({ BaseCoreDataManager manager("ZOL", nullptr); }, "Fatal error: Error loading model from budle");
  EXPECT_DEATH(
      {
        BaseCoreDataManager manager("Broken", [](std::string*) { return nullptr; });
      },
      "Fatal error: Error initializing mom from: Broken.momd");
  {
    vozi::test::TempRoot root;
    root.writeFile("/Library/Application Support", "a file where the folder should be");
    EXPECT_DEATH({ ZOLData data; }, "Fatal error: Error create application support directory: ");
  }
  {
    // A sound file this store cannot take (a store format of the future):
    // a failed migration, not damage, so it stops instead of being replaced.
    vozi::test::TempRoot root;
    const std::string path = root.makeDirectory(kFolder) + "/ZOL.sqlite";
    ASSERT_EQ(vozi::test::plainSQL(path, "CREATE TABLE Z_METADATA (Z_KEY TEXT PRIMARY KEY, Z_VALUE)"), "");
    ASSERT_EQ(vozi::test::plainSQL(path, "INSERT INTO Z_METADATA VALUES ('format', 99)"), "");
    EXPECT_DEATH({ ZOLData data; }, "Fatal error: Error migration store: .*unknown store format");
  }
  {
    vozi::test::TempRoot root;
    EXPECT_DEATH(
        {
          ZOLData data;
          data.moc()->performAndWait([&] { ManagedObjectContextRead::read(*data.moc(), "NoSuchEntity"); });
        },
        "Fatal error: Can't read entity NoSuchEntity: ");
  }
}
