#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/Logger.h"
#include "common/MLog.h"
#include "platform/DispatchGroup.h"
#include "platform/DispatchQueue.h"
#include "platform/Fatal.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentStoreCoordinator.h"
#include "support/DeathLog.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using namespace platform;

// A store with a one-to-one pair, for stops inside the object store.
struct PairStore {
  test::TempRoot root;
  std::shared_ptr<PersistentStoreCoordinator> psc;
  std::unique_ptr<ManagedObjectContext> moc;

  PairStore() {
    ManagedObjectModel::Builder b;
    b.entity("A").attribute("number", AttributeType::integer64).toOne("b", "B", "a");
    b.entity("B").toOne("a", "A", "b");
    psc = std::make_shared<PersistentStoreCoordinator>(b.build());
    EXPECT_TRUE(psc->addSQLiteStore(root.makeDirectory("/store") + "/Pair.sqlite"));
    moc = std::make_unique<ManagedObjectContext>(psc, "div.ez.iru.test.pair");
  }
};

struct Stop {
  const char* what;
  std::function<void()> statement;
  const char* message;  // on standard error and in the log
};

TEST(FatalStopDeathTest, EveryStopReachesTheLogFileBeforeTheProcessGoes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::DeathLog log;
  const Stop stops[] = {
      {"a direct stop", [] { fatalStop("cannot go on: 7 of 9"); }, "cannot go on: 7 of 9"},
      {"a group left more often than entered",
       [] {
         DispatchGroup group;
         group.leave();
       },
       "DispatchGroup.leave without a matching enter"},
      {"a serial queue waiting on itself",
       [] {
         auto queue = DispatchQueue::serial("div.ez.iru.test.self");
         queue->sync([&] { queue->sync([] {}); });
       },
       "DispatchQueue.sync onto serial queue \"div.ez.iru.test.self\" from a block already running on it: deadlock"},
      {"a stop on the logging queue itself, whose blocks can no longer run",
       [] { Logger::loggingQueue()->sync([] { fatalStop("stopped while writing the log"); }); },
       "stopped while writing the log"},
      {"a value of the wrong type for a stored attribute",
       [] {
         PairStore store;
         store.moc->performAndWait([&] { store.moc->insertNewObject("A")->setString("number", "seven"); });
       },
       "Object store misuse: A.number (integer64) cannot take this value"},
      {"a stored attribute read as the wrong type",
       [] {
         PairStore store;
         store.moc->performAndWait([&] { store.moc->insertNewObject("A")->string("number"); });
       },
       "Object store misuse: A.number is not a string"},
      {"a relationship read after the store went away",
       [] {
         PairStore store;
         store.moc->performAndWait([&] {
           auto a = store.moc->insertNewObject("A");
           a->setObject("b", store.moc->insertNewObject("B"));
           EXPECT_TRUE(store.moc->save());
           store.moc->reset();
           auto fetched = store.moc->fetch(FetchRequest("A"));
           store.psc->removeStore();
           fetched->front()->object("b");
         });
       },
       "Object store failure: "},
  };
  for (const Stop& stop : stops) {
    log.clear();
    EXPECT_DEATH(stop.statement(), testing::HasSubstr(stop.message)) << stop.what;
    EXPECT_NE(log.contents().find(stop.message), std::string::npos) << stop.what << "\n" << log.contents();
  }
}

TEST(FatalStopDeathTest, LinesLoggedBeforeTheStopComeFirst) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::DeathLog log;
  EXPECT_DEATH(
      {
        for (int i = 0; i < 200; ++i) MLogf("line %d before the stop", i);
        fatalStop("the stop itself");
      },
      "the stop itself");
  const std::string text = log.contents();
  const auto last = text.find("line 199 before the stop");
  const auto stop = text.find("the stop itself");
  ASSERT_NE(last, std::string::npos) << text;
  ASSERT_NE(stop, std::string::npos) << text;
  EXPECT_LT(last, stop);
  // The line names the site of the stop, like any other line.
  EXPECT_NE(text.find("FatalStopTests.cpp TestBody()"), std::string::npos) << text;
}

}  // namespace
}  // namespace vozi
