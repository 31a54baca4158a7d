#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/ObjectStoreError.h"
#include "platform/store/PersistentStoreCoordinator.h"
#include "support/TempRoot.h"

extern char** environ;

using namespace vozi::platform;

// A process killed in the middle of a save must leave the store file with the
// state of the last completed save: each save below sets every row to the
// save's generation and adds kBatch rows of it, so a store that holds rows
// of two generations, or a row count that does not fit the generation, shows
// a torn save.
namespace {

constexpr int kBatch = 2000;

std::shared_ptr<const ManagedObjectModel> model() {
  ManagedObjectModel::Builder b;
  b.entity("Row").attribute("generation", AttributeType::integer64).attribute("label", AttributeType::string);
  b.entity("Log").attribute("generation", AttributeType::integer64).toMany("rows", "Tagged", "log");
  b.entity("Tagged").attribute("n", AttributeType::integer64).toOne("log", "Log", "rows");
  return b.build();
}

void writeByte(int fd, char c) {
  while (::write(fd, &c, 1) < 0 && errno == EINTR) {
  }
}

}  // namespace

// Runs only as the child of the test below.
TEST(ObjectStoreKill, ChildSavesUntilKilled) {
  const char* path = std::getenv("VOZI_STORE_KILL_PATH");
  const char* fdText = std::getenv("VOZI_STORE_KILL_FD");
  if (!path || !fdText) GTEST_SKIP() << "helper of SaveKilledMidwayLeavesTheOldOrTheNewState";
  const int fd = std::atoi(fdText);
  auto psc = std::make_shared<PersistentStoreCoordinator>(model());
  Error error;
  ASSERT_TRUE(psc->addSQLiteStore(path, &error)) << ObjectStoreError::describe(error);
  ManagedObjectContext moc(psc, "div.ez.iru.test.kill");
  moc.performAndWait([&] {
    auto rows = *moc.fetch(FetchRequest("Row"));
    auto logs = *moc.fetch(FetchRequest("Log"));
    std::int64_t generation = rows.empty() ? 0 : rows.front()->integer("generation");
    for (;;) {
      ++generation;
      for (auto& row : rows) row->setInteger("generation", generation);
      for (int i = 0; i < kBatch; ++i) {
        auto row = moc.insertNewObject("Row");
        row->setInteger("generation", generation);
        row->setString("label", std::string(40, 'x'));
        rows.push_back(row);
      }
      // A second table in the same transaction.
      auto log = moc.insertNewObject("Log");
      log->setInteger("generation", generation);
      for (int i = 0; i < 10; ++i) log->addObject("rows", moc.insertNewObject("Tagged"));
      writeByte(fd, 'S');
      ASSERT_TRUE(moc.save(&error)) << ObjectStoreError::describe(error);
      writeByte(fd, 'D');
    }
  });
}

TEST(ObjectStoreKill, SaveKilledMidwayLeavesTheOldOrTheNewState) {
  vozi::test::TempRoot root;
  const std::string path = root.makeDirectory("/Library/Application Support/div.ez.iru") + "/Kill.sqlite";
  for (int round = 0; round < 3; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back("VOZI_STORE_KILL_PATH=" + path);
    env.push_back("VOZI_STORE_KILL_FD=" + std::to_string(fds[1]));
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe", filter = "--gtest_filter=ObjectStoreKill.ChildSavesUntilKilled";
    char* argv[] = {self.data(), filter.data(), nullptr};
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      ::execve("/proc/self/exe", argv, envp.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    // Let it finish a few saves, then kill it as soon as the next one starts.
    int started = 0, finished = 0;
    char c;
    while (::read(fds[0], &c, 1) == 1) {
      if (c == 'D') ++finished;
      if (c == 'S' && ++started > 2 + round) break;
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own, status " << status;
    ASSERT_GE(finished, 2);

    auto psc = std::make_shared<PersistentStoreCoordinator>(model());
    Error error;
    ASSERT_TRUE(psc->addSQLiteStore(path, &error)) << ObjectStoreError::describe(error);
    ManagedObjectContext moc(psc, "div.ez.iru.test.kill.check");
    moc.performAndWait([&] {
      auto rows = *moc.fetch(FetchRequest("Row"));
      ASSERT_FALSE(rows.empty());
      const std::int64_t generation = rows.front()->integer("generation");
      for (auto& row : rows) ASSERT_EQ(row->integer("generation"), generation);
      EXPECT_EQ(rows.size(), static_cast<std::size_t>(generation) * kBatch);
      auto logs = *moc.fetch(FetchRequest("Log"));
      ASSERT_EQ(logs.size(), static_cast<std::size_t>(generation));
      for (auto& log : logs) EXPECT_EQ(log->objectCount("rows"), 10u);
      EXPECT_EQ(*moc.count(FetchRequest("Tagged")), static_cast<std::size_t>(generation) * 10);
    });
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
}
