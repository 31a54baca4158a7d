// The daemon as a process: VOZi and vozi-agent run as children on a temporary
// root; the test is their UI (the client library) and a socket client.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <thread>

#include "common/IFileItem.h"
#include "platform/ProcessUser.h"
#include "server/ServerTestSupport.h"
#include "support/ChildProcess.h"
#include "support/DemoTree.h"

namespace vozi {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class DaemonProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    user = ::geteuid() == 0 ? "demo" : platform::ProcessUser::name();
    // The daemon logs only into a file that is there.
    fs::create_directories(root / "/Library/Application Support/div.ez.iru/log");
    std::ofstream created(logPath());
  }
  void TearDown() override {
    for (pid_t* pid : {&agent, &daemon}) {
      if (*pid > 0) {
        ::kill(*pid, SIGKILL);
        test::reapProcess(*pid);
        *pid = -1;
      }
    }
  }

  std::string logPath() const { return root / "/Library/Application Support/div.ez.iru/log/VOZi.log"; }
  std::string log() const {
    std::ifstream in(logPath());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Polls the child's log: the only sign it gives.
  bool waitForLog(const std::string& text) const {
    for (int i = 0; i < 6000; ++i) {
      if (log().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  void startDaemon(std::vector<std::string> prefix = {}, std::vector<std::string> environment = {}) {
    const std::string program = prefix.empty() ? VOZI_DAEMON_PATH : prefix.front();
    std::vector<std::string> arguments(prefix.empty() ? prefix.begin() : prefix.begin() + 1, prefix.end());
    if (!prefix.empty()) arguments.push_back(VOZI_DAEMON_PATH);
    const std::size_t listening = occurrences("Listening on path");
    environment.push_back("VOZI_ROOT=" + root.path());
    daemon = test::spawnProcess(program, arguments, std::nullopt, environment);
    ASSERT_GT(daemon, 0);
    for (int i = 0; i < 6000 && occurrences("Listening on path") == listening; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GT(occurrences("Listening on path"), listening);
  }
  void startAgent() {
    agent = test::spawnProcess(VOZI_AGENT_PATH, {"--user", user}, std::nullopt, {"VOZI_ROOT=" + root.path()});
    ASSERT_GT(agent, 0);
    ASSERT_TRUE(waitForLog("setup connection with userAgent"));
  }
  std::size_t occurrences(const std::string& text) const {
    const std::string all = log();
    std::size_t count = 0;
    for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
  }
  // Sends "shutdown" and gives the daemon's wait status.
  int shutdown() {
    auto client = client::SocketClient::connect(UnixSocketIPCServerConstant::Path());
    EXPECT_TRUE(client);
    if (client) {
      EXPECT_TRUE((*client)->send(test::request("shutdown")));
    }
    const int status = test::reapProcess(daemon);
    daemon = -1;
    return status;
  }
  std::set<std::string> filesUnder(const std::string& treePath) const {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root / treePath))
      if (entry.is_regular_file()) files.insert(entry.path().string());
    return files;
  }
  static std::set<std::string> pathsOf(const ItemGroupPtr& group) {
    std::set<std::string> paths;
    group->enumerateLeaves([&](const ModelItemPtr& item, bool&) {
      if (const auto* file = dynamic_cast<const IFileItem*>(item.get())) paths.insert(file->path());
    });
    return paths;
  }
  // The named services start a little after the socket: a client is handed
  // out once the daemon has answered it.
  std::shared_ptr<client::ServiceClient> serviceClient(std::chrono::seconds timeout) {
    for (int attempt = 0; attempt < 300; ++attempt) {
      auto ui = client::ServiceClient::make(timeout);
      if (ui->results({})) return ui;
      std::this_thread::sleep_for(100ms);
    }
    ADD_FAILURE() << "the daemon's service never answered";
    return client::ServiceClient::make(timeout);
  }
  std::string caches() const { return test::MacTree::libraryOf(user) + "/Caches"; }

  test::TempRoot root;
  test::MacTree tree{root};
  std::string user;
  pid_t daemon = -1;
  pid_t agent = -1;
};

TEST_F(DaemonProcessTest, ScansCleansWhatItFoundAnswersTheHistoryAndShutsDown) {
  const auto laidOut = test::DemoTree::layOut(tree, user, 50);
  startDaemon();
  startAgent();
  auto ui = serviceClient(120s);
  auto scanned = ui->scan(*client::groupsNamed({"userCache"}), {});
  ASSERT_TRUE(scanned) << scanned.error().localizedDescription();
  ASSERT_EQ(scanned->size(), 1u);
  EXPECT_EQ(scanned->front()->size(), laidOut.userCacheBytes);
  EXPECT_EQ(pathsOf(scanned->front()), filesUnder(caches()));

  const std::string late = caches() + "/late.cache";
  tree.addFile(late, 77);
  auto stored = ui->results({"userCache"});
  ASSERT_TRUE(stored);
  auto cleaned = ui->clean(*stored, {});
  ASSERT_TRUE(cleaned) << cleaned.error().localizedDescription();
  EXPECT_EQ(filesUnder(caches()), std::set<std::string>{root / late});

  auto socket = client::SocketClient::connect(UnixSocketIPCServerConstant::Path());
  ASSERT_TRUE(socket);
  ASSERT_TRUE((*socket)->send(test::request("getCleaningHistory")));
  auto history = (*socket)->receive(60s);
  ASSERT_TRUE(history && *history);
  const auto& modules = *(*history)->at("parameters").asDictionary()->at("modules").asArray();
  ASSERT_EQ(modules.size(), 1u);
  EXPECT_EQ(modules.front().asDictionary()->at("lastCleanedBytes").asInt64(),
            std::optional<std::int64_t>(static_cast<std::int64_t>(laidOut.userCacheBytes)));

  ui.reset();
  const int status = shutdown();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  struct stat info {};
  EXPECT_NE(::lstat(UnixSocketIPCServerConstant::Path().c_str(), &info), 0);
}

// With no daemon listening, a call fails as soon as the connection is
// lost, not when its (long) time-out runs out.
TEST_F(DaemonProcessTest, ACallWithNoDaemonFailsAtOnce) {
  auto ui = client::ServiceClient::make(std::chrono::hours(1));
  auto stored = ui->results({"userCache"});
  ASSERT_FALSE(stored);
  EXPECT_NE(stored.error().localizedDescription().find("cannot reach the daemon"), std::string::npos)
      << stored.error().localizedDescription();
}

// A shutdown in the middle of a clean lets the clean store what it did: after
// a restart, the stored result holds exactly the files still on disk.
TEST_F(DaemonProcessTest, AShutdownDuringACleanKeepsTheStoredResultTrue) {
  test::DemoTree::layOut(tree, user, 10000);
  startDaemon();
  startAgent();
  {
    auto ui = serviceClient(300s);
    auto scanned = ui->scan(*client::groupsNamed({"userCache"}), {});
    ASSERT_TRUE(scanned) << scanned.error().localizedDescription();
    ASSERT_EQ(scanned->front()->count(), filesUnder(caches()).size());
    auto stored = ui->results({"userCache"});
    ASSERT_TRUE(stored);

    auto begun = std::make_shared<std::promise<void>>();
    auto once = std::make_shared<std::once_flag>();
    auto cleaning = std::async(std::launch::async, [&, stored = *stored] {
      return ui->clean(stored, [begun, once](double) { std::call_once(*once, [&] { begun->set_value(); }); });
    });
    ASSERT_EQ(begun->get_future().wait_for(300s), std::future_status::ready);
    const int status = shutdown();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    cleaning.wait();
  }
  const std::size_t left = filesUnder(caches()).size();
  EXPECT_LT(left, 10000u);

  startDaemon();
  auto ui = serviceClient(120s);
  auto stored = ui->results({"userCache"});
  ASSERT_TRUE(stored) << stored.error().localizedDescription();
  ASSERT_EQ(stored->size(), 1u);
  EXPECT_EQ(pathsOf(stored->front()), filesUnder(caches()));
  ui.reset();
  EXPECT_EQ(WEXITSTATUS(shutdown()), 0);
}

// Running out of descriptors makes accepting fail for a while, not for good.
TEST_F(DaemonProcessTest, AfterRunningOutOfDescriptorsTheDaemonServesAgain) {
  if (::access("/usr/bin/prlimit", X_OK) != 0) GTEST_SKIP() << "no prlimit";
  // Out of descriptors, UndefinedBehaviorSanitizer cannot make the pipe it
  // probes memory with, and takes a virtual call it checks then for a bad
  // one (a suppression is of no help: matching it needs descriptors too).
  // This child reports such findings and goes on.
  startDaemon({"/usr/bin/prlimit", "--nofile=48:48", "--"}, {"UBSAN_OPTIONS=halt_on_error=0:print_stacktrace=0"});
  std::vector<std::unique_ptr<client::SocketClient>> crowd;
  for (int i = 0; i < 60; ++i) {
    auto client = client::SocketClient::connect(UnixSocketIPCServerConstant::Path());
    if (!client) break;  // the backlog is full too
    crowd.push_back(std::move(*client));
  }
  ASSERT_TRUE(waitForLog("accepting again"));
  crowd.clear();

  // Served again: a request is answered (the first tries may meet clients of
  // the crowd that are still being let go).
  bool answered = false;
  for (int attempt = 0; attempt < 100 && !answered; ++attempt) {
    auto client = client::SocketClient::connect(UnixSocketIPCServerConstant::Path());
    if (!client) continue;
    ASSERT_TRUE((*client)->send(test::request("getCleaningHistory")));
    auto reply = (*client)->receive(10s);
    answered = reply && *reply && test::methodOf(**reply) == "cleaningHistory";
  }
  EXPECT_TRUE(answered);
  // One line per run of failures, however many failures it had.
  EXPECT_GE(occurrences("Error reported"), 1u);
  EXPECT_LE(occurrences("Error reported"), occurrences("Accepting clients again") + 1);
  EXPECT_EQ(WEXITSTATUS(shutdown()), 0);
}

// Only root, the daemon's user and the session user are served on the socket.
TEST_F(DaemonProcessTest, AnotherUserIsRefusedOnTheSocketAndLogged) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a client as another user";
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chmod(root.path().c_str(), 0755), 0);
  startDaemon();
  const pid_t client = test::spawnProcess(VOZI_CLIENT_PATH, {"--timeout", "30", "history"}, kNobody,
                                          {"VOZI_ROOT=" + root.path()});
  ASSERT_GT(client, 0);
  const int status = test::reapProcess(client);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_TRUE(waitForLog("Refused a socket client of uid 65534"));
  EXPECT_EQ(WEXITSTATUS(shutdown()), 0);
}

}  // namespace
}  // namespace vozi
