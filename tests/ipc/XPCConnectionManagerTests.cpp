#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/FileItem.h"
#include "ipc/NamedServicesLog.h"
#include "ipc/PeerAccessRule.h"
#include "ipc/ServiceTestSupport.h"
#include "ipc/XPCConnectionManagers.h"
#include "ipc/XPCServices.h"
#include "platform/HostRoot.h"
#include "platform/ProcessUser.h"
#include "platform/services/ServiceLog.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TempRoot.h"

using namespace vozi;
using namespace vozi::test;
using platform::DispatchQueue;
using platform::XPCConnection;

namespace {

// A data source as the server is one: it exports the UI service on an
// accepted connection, or, for a client manager, holds the UI service as its
// remote interface; and it counts the connections' endings.
class TestDataSource : public IConnectionManagerDataSource {
 public:
  TestDataSource(std::string name, std::shared_ptr<IZOLServerService> exported)
      : name_(std::move(name)), exported_(std::move(exported)) {}

  void connectionManagerSetupConnection(BaseXPCConnectionManager&,
                                        const std::shared_ptr<XPCConnection>& connection) override {
    if (exported_) {
      connection->setExportedInterface(serverServiceInterface());
      connection->setExportedObject<IZOLServerService>(exported_);
    } else {
      connection->setRemoteObjectInterface(serverServiceInterface());
    }
    // Connections the manager let go of may end after the test's source.
    connection->setInterruptionHandler([counter = interruptions_] { counter->add(); });
    connection->setInvalidationHandler([counter = invalidations_] { counter->add(); });
    {
      std::lock_guard lock(mutex_);
      lastSetUp_ = connection;
    }
    setups.add();
  }
  // The connection set up last (the manager takes it as current right after).
  std::shared_ptr<XPCConnection> lastSetUp() const {
    std::lock_guard lock(mutex_);
    return lastSetUp_;
  }
  platform::DispatchQueuePtr connectionManagerDataSyncQueue(BaseXPCConnectionManager&) override { return queue; }
  std::string connectionManagerMachServiceName(BaseXPCConnectionManager&) override { return name_; }
  std::optional<std::uint64_t> connectionManagerOptions(BaseXPCConnectionManager&) override { return 4096; }

  // Makes a manager of kind M on the sync queue, as the server does.
  template <class M>
  std::shared_ptr<M> make() {
    return queue->syncResult([&] { return std::make_shared<M>(*this); });
  }
  template <class M>
  std::optional<platform::XPCProxy<IZOLServerService>> proxy(M& manager) {
    return queue->syncResult([&] { return manager.template remoteObject<IZOLServerService>(); });
  }

  const platform::DispatchQueuePtr queue = DispatchQueue::serial("test.dataSyncQueue");
  // Declared before the references to them.
  const std::shared_ptr<EventCounter> interruptions_ = std::make_shared<EventCounter>();
  const std::shared_ptr<EventCounter> invalidations_ = std::make_shared<EventCounter>();
  EventCounter setups;
  EventCounter& interruptions = *interruptions_;
  EventCounter& invalidations = *invalidations_;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<XPCConnection> lastSetUp_;
  std::string name_;
  std::shared_ptr<IZOLServerService> exported_;
};

// Answers a scan result made beforehand.
class ResultServer : public RecordingServer {
 public:
  std::vector<ItemGroupPtr> result;
  void requestScannedData(std::vector<std::string>, std::function<void(std::vector<ItemGroupPtr>)> reply) override {
    if (reply) reply(result);
  }
};

ItemGroupPtr groupOf(std::size_t files) {
  auto group = std::make_shared<ItemGroup>("userCache", 0, nullptr, "", nullptr, nullptr);
  for (std::size_t i = 0; i < files; ++i)
    group->addItem(std::make_shared<FileItem>(
        platform::URL::fileURLWithPath("/Users/alice/Library/Caches/f" + std::to_string(i)), i + 1,
        platform::Date(600000000.0 + static_cast<double>(i))));
  return group;
}

class ConnectionManagers : public ::testing::Test {
 protected:
  void SetUp() override { NamedServicesLog::install(); }
  void TearDown() override { platform::ServiceLog::setHook(nullptr); }

  TempRoot root_;
  LogCapture log_;
};

}  // namespace

TEST_F(ConnectionManagers, StopBeforeStartAndNoConnectionChangeNothing) {
  TestDataSource source(kZOLServerServiceName, std::make_shared<RecordingServer>());
  auto manager = source.make<ServerConnectionManager>();
  manager->stop();
  EXPECT_EQ(manager->listener(), nullptr);
  EXPECT_EQ(manager->connection(), nullptr);
  EXPECT_FALSE(source.proxy(*manager).has_value());
  EXPECT_EQ(log_.count("belongs on"), 0u) << "made and asked on its queue";
}

// The scan result is large enough (about 9 MB archived) to cross many reads
// and socket buffers, and small enough to stay well inside the call's wait
// in a sanitizer build on a slow machine.
TEST_F(ConnectionManagers, AClientGetsItsOperationAndAWholeScanResult) {
  constexpr std::size_t kFiles = 25000;
  auto server = std::make_shared<ResultServer>();
  server->result = {groupOf(kFiles)};
  TestDataSource serverSource(kZOLServerServiceName, server);
  auto serverManager = serverSource.make<ServerConnectionManager>();
  serverManager->start();
  EXPECT_TRUE(log_.waitForLine("zeviza listener will resume..."));

  TestDataSource clientSource(kZOLServerServiceName, nullptr);
  auto client = clientSource.make<ClientConnectionManager>();
  client->start();
  EXPECT_TRUE(log_.waitForLine("zeviza connection manager start"));
  auto proxy = clientSource.proxy(*client);
  ASSERT_TRUE(proxy.has_value());

  // Groups holding their items in each of the three mutable containers.
  Answer<std::optional<std::string>> operation;
  proxy->call<&IZOLLongOperationsServer::startScanOperation>(groupsOfEachContainer(), operation.block());
  ASSERT_EQ(operation.get(), std::optional<std::optional<std::string>>("scan-1"));
  ASSERT_EQ(server->scanned().size(), 3u);
  EXPECT_TRUE(log_.waitForLine("zeviza listener shouldAcceptNewConnection"));
  EXPECT_NE(serverManager->connection(), nullptr);
  EXPECT_EQ(serverManager->connection()->peerPID(), ::getpid());

  Answer<std::vector<ItemGroupPtr>> scanned;
  proxy->call<&IZOLLongOperationsServer::requestScannedData>(std::vector<std::string>{"userCache"}, scanned.block());
  const auto groups = scanned.get();
  ASSERT_TRUE(groups.has_value());
  ASSERT_EQ(groups->size(), 1u);
  const auto& sent = server->result.front();
  const auto& received = (*groups)[0];
  ASSERT_EQ(received->items()->count(), kFiles);
  EXPECT_EQ(received->size(), sent->size());
  // Item by item, in order.
  std::vector<std::pair<std::string, std::uint64_t>> expected, got;
  sent->items()->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    expected.emplace_back(std::dynamic_pointer_cast<FileItem>(item)->path(), item->size());
  });
  received->items()->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    auto fileItem = std::dynamic_pointer_cast<FileItem>(item);
    got.emplace_back(fileItem ? fileItem->path() : "not a file item", item->size());
  });
  EXPECT_TRUE(got == expected);

  client->stop();
  EXPECT_TRUE(serverSource.invalidations.waitFor(1));
  serverManager->stop();
}

TEST_F(ConnectionManagers, StoppingTheServerInterruptsItsClientOnceAndTheNextCallReachesANewOne) {
  auto first = std::make_shared<RecordingServer>();
  TestDataSource firstSource(kZOLServerServiceName, first);
  auto firstManager = firstSource.make<ServerConnectionManager>();
  firstManager->start();

  TestDataSource clientSource(kZOLServerServiceName, nullptr);
  auto client = clientSource.make<ClientConnectionManager>();
  client->start();
  auto proxy = clientSource.proxy(*client);
  ASSERT_TRUE(proxy.has_value());
  Answer<bool> cancelled;
  proxy->call<&IZOLLongOperationsServer::cancelWithOperationID>(std::string("one"), cancelled.block());
  ASSERT_EQ(cancelled.get(), std::optional<bool>(true));

  firstManager->stop();
  ASSERT_TRUE(clientSource.interruptions.waitFor(1));
  EXPECT_EQ(firstSource.invalidations.count(), 0) << "stop() removes the handlers before it ends the connection";

  auto second = std::make_shared<RecordingServer>();
  TestDataSource secondSource(kZOLServerServiceName, second);
  auto secondManager = secondSource.make<ServerConnectionManager>();
  secondManager->start();
  Answer<bool> again;
  proxy->call<&IZOLLongOperationsServer::cancelWithOperationID>(std::string("two"), again.block());
  ASSERT_EQ(again.get(), std::optional<bool>(true));
  EXPECT_EQ(clientSource.interruptions.count(), 1);
  EXPECT_EQ(second->calls.lines(), std::vector<std::string>{"cancelWithOperationID: two"});
  EXPECT_EQ(first->calls.lines(), std::vector<std::string>{"cancelWithOperationID: one"});

  client->stop();
  secondManager->stop();
}

TEST_F(ConnectionManagers, ASecondClientBecomesTheConnectionWithoutCuttingOffTheFirst) {
  auto server = std::make_shared<RecordingServer>();
  TestDataSource serverSource(kZOLServerServiceName, server);
  auto manager = serverSource.make<ServerConnectionManager>();
  manager->start();

  TestDataSource firstSource(kZOLServerServiceName, nullptr), secondSource(kZOLServerServiceName, nullptr);
  auto firstClient = firstSource.make<ClientConnectionManager>();
  firstClient->start();
  auto first = firstSource.proxy(*firstClient);
  Answer<bool> one;
  first->call<&IZOLLongOperationsServer::cancelWithOperationID>(std::string("first"), one.block());
  ASSERT_TRUE(one.get().has_value());
  const auto firstConnection = manager->connection();

  auto secondClient = secondSource.make<ClientConnectionManager>();
  secondClient->start();
  auto second = secondSource.proxy(*secondClient);
  Answer<bool> two;
  second->call<&IZOLLongOperationsServer::cancelWithOperationID>(std::string("second"), two.block());
  ASSERT_TRUE(two.get().has_value());
  ASSERT_TRUE(serverSource.setups.waitFor(2));
  EXPECT_NE(manager->connection(), firstConnection);

  Answer<bool> three;
  first->call<&IZOLLongOperationsServer::cancelWithOperationID>(std::string("first again"), three.block());
  ASSERT_TRUE(three.get().has_value());
  EXPECT_EQ(server->calls.lines(),
            (std::vector<std::string>{"cancelWithOperationID: first", "cancelWithOperationID: second",
                                      "cancelWithOperationID: first again"}));
  firstClient->stop();
  secondClient->stop();
  manager->stop();
}

TEST(PeerAccessRuleTest, TheUIServicesServeRootTheDaemonAndTheSessionUserTheAgentServiceEveryone) {
  const uid_t own = platform::ProcessUser::uid();
  const uid_t stranger = 65534 == own ? 65533 : 65534;
  const uid_t session = 4242 == own ? 4243 : 4242;
  struct Case {
    const char* service;
    uid_t peer;
    std::optional<uid_t> session;
    bool served;
  };
  const Case cases[] = {
      {kZOLServerServiceName, 0, std::nullopt, true},
      {kZOLServerServiceName, own, std::nullopt, true},
      {kZOLServerServiceName, stranger, std::nullopt, false},
      {kZOLServerServiceName, stranger, session, false},
      {kZOLServerServiceName, session, session, true},
      {kZOLMenuBarServerServiceName, stranger, std::nullopt, false},
      {kZOLMenuBarServerServiceName, session, session, true},
      {kUserAgentClientServiceName, stranger, std::nullopt, true},
      {kUserAgentClientServiceName, session, std::nullopt, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PeerAccessRule::serves(c.service, c.peer, c.session), c.served)
        << c.service << " uid " << c.peer << " session " << (c.session ? std::to_string(*c.session) : "none");
}

namespace {

// A child process that connects to the socket at `path` as `uid` and waits
// until the daemon's side closes it; its exit status is 0 when it could
// connect. Only system calls run between fork and _exit.
pid_t connectAs(uid_t uid, const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const pid_t child = ::fork();
  if (child != 0) return child;
  if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(2);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(3);
  char byte;
  while (::read(fd, &byte, 1) > 0) {
  }
  ::_exit(0);
}

}  // namespace

TEST_F(ConnectionManagers, AsRootAnotherUserIsServedOnlyWhereTheRuleSays) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  ASSERT_EQ(::chmod(root_.path().c_str(), 0755), 0);
  constexpr uid_t kNobody = 65534;
  std::atomic<bool> nobodyIsTheSessionUser{false};
  auto sessionUid = [&]() -> std::optional<uid_t> {
    if (nobodyIsTheSessionUser) return kNobody;
    return std::nullopt;
  };

  TestDataSource uiSource(kZOLServerServiceName, std::make_shared<RecordingServer>());
  auto ui = uiSource.make<ServerConnectionManager>();
  ui->setSessionUidSource(sessionUid);
  ui->start();
  TestDataSource agentSource(kUserAgentClientServiceName, std::make_shared<RecordingServer>());
  auto agent = agentSource.make<ServerConnectionManager>();
  agent->start();
  const std::string folder = platform::HostRoot::resolve("/var/run/div.ez.iru/");

  // Refused on the UI's service before any frame, with its uid logged.
  pid_t child = connectAs(kNobody, folder + kZOLServerServiceName);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(log_.waitForLine("uid 65534"));
  int status = reapProcess(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(uiSource.setups.count(), 0);

  // Served on the agent's service.
  child = connectAs(kNobody, folder + kUserAgentClientServiceName);
  ASSERT_TRUE(agentSource.setups.waitFor(1));
  EXPECT_EQ(agentSource.lastSetUp()->peerUID(), kNobody);
  EXPECT_EQ(agentSource.lastSetUp()->peerPID(), child);
  agent->stop();
  status = reapProcess(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // Served on the UI's service once it is the session user.
  nobodyIsTheSessionUser = true;
  child = connectAs(kNobody, folder + kZOLServerServiceName);
  ASSERT_TRUE(uiSource.setups.waitFor(1));
  EXPECT_EQ(uiSource.lastSetUp()->peerUID(), kNobody);
  ui->stop();
  status = reapProcess(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
