#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/UserAgentStandIn.h"
#include "ipc/NamedServicesLog.h"
#include "ipc/PeerAccessRule.h"
#include "ipc/XPCServices.h"
#include "ipc/UserAgentManger.h"
#include "ipc/ZOLDefaultNotification.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/Task.h"
#include "platform/services/ServiceLog.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using namespace std::chrono_literals;
using agent::UserAgentStandIn;
using test::LogCapture;
using test::MacTree;
using test::TempRoot;

// Lines an agent printed, to wait on.
class Lines {
 public:
  UserAgentStandIn::LineSink sink() {
    return [this](const std::string& line) {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
      changed_.notify_all();
    };
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 60s, [&] { return lines_.size() >= count; });
  }
  std::vector<std::string> all() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

class RecordingHandler : public ZOLINotificationHandler {
 public:
  explicit RecordingHandler(std::function<void()> onAction = {}) : onAction_(std::move(onAction)) {}
  void handleActionForNotification(ZOLNotificationPtr notification) override {
    if (onAction_) onAction_();
    add("action " + notification->identifier());
  }
  void handleCloseForNotification(ZOLNotificationPtr notification) override {
    add("close " + notification->identifier());
  }
  void add(std::string line) {
    std::lock_guard lock(mutex_);
    calls.push_back(std::move(line));
    changed_.notify_all();
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 60s, [&] { return calls.size() >= count; });
  }
  std::vector<std::string> snapshot() {
    std::lock_guard lock(mutex_);
    return calls;
  }

 private:
  std::function<void()> onAction_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> calls;
};

// An agent that keeps the Library reply it was asked for, to answer it
// later (or never).
class HoldingAgent : public UserAgentStandIn {
 public:
  static std::shared_ptr<HoldingAgent> make(std::string user) {
    return std::shared_ptr<HoldingAgent>(new HoldingAgent(std::move(user)));
  }
  void retrieveLibraryDirectory(FolderReply reply) override {
    std::lock_guard lock(mutex_);
    held_.push_back(std::move(reply));
    changed_.notify_all();
  }
  bool waitForAsks(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 60s, [&] { return held_.size() >= count; });
  }
  void answerAll(const std::string& treePath) {
    std::vector<FolderReply> held;
    {
      std::lock_guard lock(mutex_);
      held.swap(held_);
    }
    for (auto& reply : held) reply(platform::URL::fileURLWithPath(treePath, true));
  }

 private:
  explicit HoldingAgent(std::string user) : UserAgentStandIn(std::move(user), nullptr) {}
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<FolderReply> held_;
};

std::shared_ptr<ZOLNotification> notification(const std::string& identifier) {
  auto note = std::make_shared<ZOLDefaultNotification>(identifier, 1);
  note->setTitle("Cleaned");
  note->setInforamtiveText("12 MB");
  return note;
}

class UserAgentMangerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NamedServicesLog::install();
    tree.addUser("bob").addUser("alice");
    manager = UserAgentManger::make(askBound);
    ASSERT_TRUE(manager->startListening());
  }
  void TearDown() override {
    // Agents left running would reconnect to the next test's listener.
    for (const auto& agent : agents) agent->stop();
    manager->stopListening();
    platform::ServiceLog::setHook(nullptr);
  }

  // Waits until the manager's current connection is another one than
  // `before` (an agent connected).
  std::shared_ptr<platform::XPCConnection> waitForNewAgent(const std::shared_ptr<platform::XPCConnection>& before) {
    for (int i = 0; i < 6000; ++i) {
      auto now = manager->connection();
      if (now && now != before) return now;
      std::this_thread::sleep_for(10ms);
    }
    return nullptr;
  }
  std::shared_ptr<UserAgentStandIn> connectAgent(const std::string& user, Lines* lines = nullptr) {
    auto before = manager->connection();
    auto agent = UserAgentStandIn::make(user, lines ? lines->sink() : nullptr);
    agents.push_back(agent);
    agent->start();
    EXPECT_TRUE(waitForNewAgent(before));
    return agent;
  }
  std::unique_ptr<platform::RunningTask> startChild(const std::vector<std::string>& arguments) {
    auto child = platform::Task(VOZI_AGENT_PATH, arguments).start();
    EXPECT_TRUE(child) << (child ? "" : child.error().localizedDescription());
    return child ? std::move(*child) : nullptr;
  }

  TempRoot root;
  MacTree tree{root};
  LogCapture log;
  std::chrono::milliseconds askBound{60000};
  std::shared_ptr<UserAgentManger> manager;
  std::vector<std::shared_ptr<UserAgentStandIn>> agents;
};

TEST_F(UserAgentMangerTest, CallsMadeBeforeAnyAgentReachTheChildInOrderAndClicksComeBack) {
  auto handler = std::make_shared<RecordingHandler>();
  manager->registerHandler(handler, "n1");
  manager->scheduleWithNotification(notification("n1"), 2);
  manager->deliverWithNotification(notification("n2"));
  EXPECT_EQ(manager->pendingBlockCount(), 3u);
  EXPECT_FALSE(manager->sessionUid());

  auto child = startChild({"--user", "bob"});
  ASSERT_TRUE(child);
  ASSERT_TRUE(child->waitForStandardOutput(
      [](std::string_view out) { return std::count(out.begin(), out.end(), '\n') >= 3; }, 60s))
      << child->standardError();
  EXPECT_EQ(child->standardOutput(),
            "registerRemoteHandlerForNotificationIdentifier: n1\n"
            "scheduleWithNotification:withPriority: n1 ZOLDefaultNotification title=Cleaned text=12 MB priority=2\n"
            "deliverWithNotification: n2 ZOLDefaultNotification title=Cleaned text=12 MB\n");
  EXPECT_EQ(manager->pendingBlockCount(), 0u);
  EXPECT_EQ(manager->sessionUid(), std::optional<uid_t>(::geteuid()));

  // The user's click on n1 reaches its handler; one on n2 has none and is dropped.
  ASSERT_TRUE(child->write("action n2\nclose n1\naction n1\n"));
  ASSERT_TRUE(handler->waitFor(2));
  EXPECT_EQ(handler->snapshot(), (std::vector<std::string>{"close n1", "action n1"}));

  const auto library = manager->libraryDirectory();
  ASSERT_TRUE(library) << library.error().localizedDescription();
  EXPECT_EQ(*library, root / "/Users/bob/Library");
  const auto name = manager->userName();
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, "bob");

  child->terminate();
  child->wait();
  for (int i = 0; i < 6000 && manager->sessionUid(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(manager->sessionUid());  // no session user once the agent is gone
  EXPECT_EQ(manager->userName().error().code, UserAgentManagerError::noUserContext);
}

TEST_F(UserAgentMangerTest, WithoutAnAgentAsksFailAtOnceAndAnAskOnTheQueueFailsToo) {
  for (int i = 0; i < 2; ++i) {
    const auto name = manager->userName();
    ASSERT_FALSE(name);
    EXPECT_TRUE(UserAgentManagerError::is(name.error()));
  }
  EXPECT_FALSE(manager->libraryDirectory());
  EXPECT_EQ(manager->replyCount(), 0u);

  connectAgent("bob");
  const auto onQueue = manager->queue()->syncResult([&] { return manager->userName(); });
  EXPECT_FALSE(onQueue);
  EXPECT_TRUE(manager->userName());  // the same ask elsewhere is answered
}

TEST_F(UserAgentMangerTest, AStoppedThenKilledAgentFailsTheWaitingAsksWithoutTheBound) {
  auto child = startChild({"--user", "bob"});
  ASSERT_TRUE(child);
  ASSERT_TRUE(waitForNewAgent(nullptr));
  ASSERT_TRUE(manager->userName());
  ASSERT_TRUE(child->signal(SIGSTOP));
  ASSERT_TRUE(test::waitUntilStopped(child->pid(), 60s));  // before the asks go out
  auto first = std::async(std::launch::async, [&] { return manager->libraryDirectory(); });
  auto second = std::async(std::launch::async, [&] { return manager->cachesDirectory(); });
  for (int i = 0; i < 6000 && manager->replyCount() < 2; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(manager->replyCount(), 2u);
  ASSERT_TRUE(child->signal(SIGKILL));
  child->wait();
  // The bound is a minute: both end with the connection, long before it.
  ASSERT_EQ(first.wait_for(30s), std::future_status::ready);
  ASSERT_EQ(second.wait_for(30s), std::future_status::ready);
  EXPECT_TRUE(UserAgentManagerError::is(first.get().error()));
  EXPECT_TRUE(UserAgentManagerError::is(second.get().error()));
  EXPECT_EQ(manager->replyCount(), 0u);
}

// A manager with a short bound.
class UserAgentMangerBoundTest : public UserAgentMangerTest {
 protected:
  UserAgentMangerBoundTest() { askBound = 200ms; }
};

TEST_F(UserAgentMangerBoundTest, ASilentAgentsAsksGiveUpAtTheBoundAndALateReplyIsDropped) {
  auto agent = HoldingAgent::make("bob");
  agents.push_back(agent);
  auto before = manager->connection();
  agent->start();
  ASSERT_TRUE(waitForNewAgent(before));
  const auto library = manager->libraryDirectory();
  ASSERT_FALSE(library);
  EXPECT_TRUE(UserAgentManagerError::is(library.error()));
  EXPECT_EQ(manager->replyCount(), 0u);
  ASSERT_TRUE(agent->waitForAsks(1));
  agent->answerAll("/Users/bob/Library");  // after the ask gave up
  EXPECT_EQ(manager->replyCount(), 0u);
  agent->stop();
}

TEST_F(UserAgentMangerTest, ASecondAgentStaysCurrentWhenTheFirstEnds) {
  auto first = connectAgent("alice");
  auto firstConnection = manager->connection();
  auto second = connectAgent("bob");
  ASSERT_NE(manager->connection(), firstConnection);
  first->stop();
  for (int i = 0; i < 6000 && !firstConnection->isInvalidated(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(firstConnection->isInvalidated());
  manager->queue()->sync([] {});  // the ending's own work on the queue is done
  const auto name = manager->userName();
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, "bob");
  second->stop();
}

TEST_F(UserAgentMangerTest, AnInterruptionFailsTheWaitingAskAndKeepsTheAgent) {
  auto agent = HoldingAgent::make("bob");
  agents.push_back(agent);
  auto before = manager->connection();
  agent->start();
  auto connection = waitForNewAgent(before);
  ASSERT_TRUE(connection);
  auto ask = std::async(std::launch::async, [&] { return manager->libraryDirectory(); });
  ASSERT_TRUE(agent->waitForAsks(1));
  connection->interruptionHandler()();
  ASSERT_EQ(ask.wait_for(30s), std::future_status::ready);
  EXPECT_TRUE(UserAgentManagerError::is(ask.get().error()));
  EXPECT_EQ(manager->replyCount(), 0u);
  manager->deliverWithNotification(notification("n3"));
  EXPECT_EQ(manager->pendingBlockCount(), 0u);  // sent to the kept proxy at once
  agent->answerAll("/Users/bob/Library");
  agent->stop();
}

TEST_F(UserAgentMangerTest, AHandlerOnTheAgentsQueueMayAskTheAgent) {
  Lines lines;
  auto agent = connectAgent("bob", &lines);
  std::promise<platform::Result<std::string>> answer;
  auto handler = std::make_shared<RecordingHandler>([&] { answer.set_value(manager->userName()); });
  manager->registerHandler(handler, "n4");
  manager->deliverWithNotification(notification("n4"));
  ASSERT_TRUE(lines.waitFor(2));
  ASSERT_TRUE(agent->sendAction("n4"));
  auto future = answer.get_future();
  ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
  const auto name = future.get();
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, "bob");
  agent->stop();
}

TEST_F(UserAgentMangerTest, OnlyFoldersInsideTheAgentsOwnHomeAreTrusted) {
  tree.addDirectory("/Users/carol").addSymlink("/Users/carol/Library", "/Users/bob/Library");
  struct Case {
    std::string answer;
    bool trusted;
  };
  std::vector<Case> cases = {
      {"/Users/bob/Library", true},
      {"/Users/bob/Library/", true},
      {"/Users/bob/../alice/Library", false},
      {"Library", false},
      {"/Library", false},
      {"/Users/bob", false},
      {"/Users/bob/Missing", false},
      {"/Users/carol/Library", false},  // a link
  };
  if (::geteuid() == 0) {
    tree.addDirectory("/Users/dave/Library");
    ASSERT_EQ(::chown((root / "/Users/dave/Library").c_str(), 65534, 65534), 0);
    cases.push_back({"/Users/dave/Library", false});  // another owner
  }
  auto agent = connectAgent("bob");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    agent->setFolderAnswer(c.answer);
    const auto folder = manager->libraryDirectory();
    EXPECT_EQ(static_cast<bool>(folder), c.trusted);
    if (folder) {
      EXPECT_EQ(*folder, root / std::string(platform::PathComponents::withoutTrailingSlashes(c.answer)));
    }
  }
  agent->stop();

  for (const std::string name : {"bob", "", "..", "a/b", "nobody-here"}) {
    SCOPED_TRACE(name);
    auto named = connectAgent(name);
    EXPECT_EQ(static_cast<bool>(manager->userName()), name == "bob");
    named->stop();
  }
  EXPECT_GT(log.count("Refused the agent"), 0u);
}

// As root: an agent running as another user makes that uid the session user
// the access rule serves on the UI's service, and only while it is there.
TEST_F(UserAgentMangerTest, AnAgentOfAnotherUserIsTheSessionUserForTheAccessRule) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the agent as another user";
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chmod(root.path().c_str(), 0755), 0);
  const pid_t child = test::spawnProcess(VOZI_AGENT_PATH, {"--user", "nobody"}, kNobody);
  ASSERT_GT(child, 0);
  for (int i = 0; i < 6000 && manager->sessionUid() != std::optional<uid_t>(kNobody); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(manager->sessionUid(), std::optional<uid_t>(kNobody));
  EXPECT_TRUE(PeerAccessRule::serves(kZOLServerServiceName, kNobody, manager->sessionUid()));
  EXPECT_FALSE(PeerAccessRule::serves(kZOLServerServiceName, kNobody + 1, manager->sessionUid()));

  ASSERT_EQ(::kill(child, SIGTERM), 0);
  test::reapProcess(child);
  for (int i = 0; i < 6000 && manager->sessionUid(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(PeerAccessRule::serves(kZOLServerServiceName, kNobody, manager->sessionUid()));
}

}  // namespace
}  // namespace vozi
