#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "platform/services/ServiceFolder.h"
#include "platform/services/ServiceFrameReader.h"
#include "platform/services/ServiceLog.h"
#include "platform/services/ServiceSocket.h"
#include "platform/services/XPCConnection.h"
#include "platform/services/XPCListener.h"
#include "platform/services/EchoService.h"
#include "support/ChildProcess.h"
#include "support/TempRoot.h"

using namespace vozi::platform;
using vozi::test::EchoServer;
using vozi::test::EventCounter;
using vozi::test::IEchoService;
using vozi::test::Records;
using vozi::test::ScanRecord;

namespace {

constexpr const char* kService = "div.ez.iru.test";
constexpr const char* kChildVariable = "VOZI_SERVICE_CHILD";

// The transport's log lines, for the assertions and for waiting on them.
class LogLines {
 public:
  void add(const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    changed_.notify_all();
  }
  bool waitFor(const std::string& text) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(60), [&] { return countLocked(text) > 0; });
  }
  int count(const std::string& text) {
    std::lock_guard lock(mutex_);
    return countLocked(text);
  }
  int countEndingWith(const std::string& text) {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& line : lines_) n += line.ends_with(text);
    return n;
  }

 private:
  int countLocked(const std::string& text) {
    int n = 0;
    for (const auto& line : lines_) n += line.find(text) != std::string::npos;
    return n;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

// A connection with counted handlers.
struct Watched {
  std::shared_ptr<XPCConnection> connection;
  std::shared_ptr<EventCounter> interruptions = std::make_shared<EventCounter>();
  std::shared_ptr<EventCounter> invalidations = std::make_shared<EventCounter>();

  explicit Watched(std::shared_ptr<XPCConnection> c) : connection(std::move(c)) {
    connection->setInterruptionHandler([counter = interruptions] { counter->add(); });
    connection->setInvalidationHandler([counter = invalidations] { counter->add(); });
  }
  vozi::platform::XPCProxy<IEchoService> proxy() { return connection->remoteObjectProxy<IEchoService>(); }
  // The reply of echo(text), waited for.
  std::optional<bool> echo(const std::string& text) {
    auto answer = std::make_shared<std::promise<std::optional<bool>>>();
    connection->remoteObjectProxyWithErrorHandler<IEchoService>([answer](const Error&) {
      answer->set_value(std::nullopt);
    }).call<&IEchoService::echo>(text, [answer](bool value) { answer->set_value(value); });
    auto future = answer->get_future();
    if (future.wait_for(std::chrono::seconds(60)) != std::future_status::ready) return std::nullopt;
    return future.get();
  }
};

class NamedServices : public ::testing::Test {
 protected:
  void SetUp() override {
    vozi::test::registerServiceRecords();
    ServiceLog::setHook([log = log_](const std::string& line) { log->add(line); });
  }

  void TearDown() override {
    for (auto& client : clients_) {
      client.connection->invalidate();
      EXPECT_TRUE(client.invalidations->waitFor(1));
      EXPECT_EQ(client.invalidations->count(), 1);
    }
    for (auto& listener : listeners_) listener->invalidate();
    std::vector<Watched> servers;
    {
      std::lock_guard lock(mutex_);
      servers = serverConnections_;
    }
    for (auto& server : servers) {
      server.connection->invalidate();
      EXPECT_TRUE(server.invalidations->waitFor(1));
    }
    ServiceLog::setHook(nullptr);
  }

  std::shared_ptr<XPCListener> listen(std::shared_ptr<EchoServer> server, XPCListener::AcceptHook hook = nullptr,
                                      XPCConnection::Limits limits = {}) {
    auto listener = XPCListener::make(kService);
    listener->setAcceptHook(std::move(hook));
    listener->setConnectionLimits(limits);
    listener->setNewConnectionHandler([this, server](const std::shared_ptr<XPCConnection>& connection) {
      connection->setExportedInterface(vozi::test::echoInterface());
      connection->setExportedObject<IEchoService>(server);
      connection->setRemoteObjectInterface(vozi::test::echoInterface());
      Watched watched(connection);
      {
        std::lock_guard lock(mutex_);
        serverConnections_.push_back(watched);
      }
      accepted_.add();
      connection->resume();
      return true;
    });
    EXPECT_TRUE(listener->resume().ok());
    listeners_.push_back(listener);
    return listener;
  }

  Watched& connect(bool withUnlisted = false, XPCConnection::Limits limits = {}) {
    auto connection = XPCConnection::connectToService(kService);
    connection->setLimits(limits);
    connection->setRemoteObjectInterface(vozi::test::echoInterface(withUnlisted));
    clients_.emplace_back(connection);
    connection->resume();
    return clients_.back();
  }

  Watched serverConnection(std::size_t index) {
    EXPECT_TRUE(accepted_.waitFor(static_cast<int>(index) + 1));
    std::lock_guard lock(mutex_);
    return serverConnections_.at(index);
  }

  vozi::test::TempRoot root_;
  std::shared_ptr<LogLines> log_ = std::make_shared<LogLines>();
  std::deque<Watched> clients_;
  std::vector<std::shared_ptr<XPCListener>> listeners_;
  std::mutex mutex_;
  std::vector<Watched> serverConnections_;
  EventCounter accepted_;
};

}  // namespace

TEST_F(NamedServices, TenThousandCallsArriveInOrderAndRepliesComeBack) {
  auto server = std::make_shared<EchoServer>();
  listen(server);
  auto& client = connect();
  auto proxy = client.proxy();
  constexpr int kCalls = 10000;
  for (int i = 0; i < kCalls; ++i) proxy.call<&IEchoService::post>(std::int64_t{i}, Value());
  ASSERT_TRUE(server->posts.waitFor(kCalls));
  const auto posted = server->posted();
  ASSERT_EQ(posted.size(), static_cast<std::size_t>(kCalls));
  for (int i = 0; i < kCalls; ++i) ASSERT_EQ(posted[static_cast<std::size_t>(i)], i);

  EXPECT_EQ(client.echo("yes"), std::optional<bool>(true));
  EXPECT_EQ(client.echo("no"), std::optional<bool>(false));
  EXPECT_EQ(serverConnection(0).connection->peerPID(), ::getpid());
  EXPECT_EQ(serverConnection(0).connection->peerUID(), ::getuid());
}

TEST_F(NamedServices, RecordsTravelBothWaysAndTheServerCanCallTheClient) {
  auto server = std::make_shared<EchoServer>();
  listen(server);
  auto& client = connect();
  // The client exports the same protocol, so the server can call it back.
  auto clientSide = std::make_shared<EchoServer>();
  client.connection->setExportedInterface(vozi::test::echoInterface());
  client.connection->setExportedObject<IEchoService>(clientSide);

  auto parent = std::make_shared<ScanRecord>("caches", 10);
  parent->children.push_back(std::make_shared<ScanRecord>("a", 4));
  std::promise<Records> answer;
  client.proxy().call<&IEchoService::scan>(Records{parent}, [&](Records records) { answer.set_value(records); });
  auto future = answer.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  const Records records = future.get();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]->name, "caches");
  ASSERT_EQ(records[0]->children.size(), 1u);
  EXPECT_EQ(records[0]->children[0]->size, 4u);
  EXPECT_NE(std::dynamic_pointer_cast<ScanRecord>(records[1]), nullptr);

  serverConnection(0).connection->remoteObjectProxy<IEchoService>().call<&IEchoService::post>(
      std::int64_t{7}, Value(Value::Dictionary{{"note", Value("from the server")}}));
  ASSERT_TRUE(clientSide->posts.waitFor(1));
  EXPECT_EQ(clientSide->posted(), std::vector<std::int64_t>{7});
  EXPECT_EQ(*clientSide->lastUserInfo().find("note")->asString(), "from the server");
}

TEST_F(NamedServices, AMethodBlockedOnOneConnectionDoesNotStallAnother) {
  auto server = std::make_shared<EchoServer>();
  listen(server);
  auto& blocked = connect();
  auto& other = connect();
  std::promise<bool> blockedAnswer;
  blocked.proxy().call<&IEchoService::hold>(std::string("block"), [&](bool v) { blockedAnswer.set_value(v); });
  ASSERT_TRUE(server->entered.waitFor(1));
  EXPECT_EQ(other.echo("yes"), std::optional<bool>(true));
  server->release();
  auto future = blockedAnswer.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_TRUE(future.get());
}

TEST_F(NamedServices, AReplyBlockCalledTwiceRunsOnce) {
  auto server = std::make_shared<EchoServer>();
  listen(server);
  auto& client = connect();
  std::atomic<int> runs{0};
  client.proxy().call<&IEchoService::echo>(std::string("twice"), [&](bool) { ++runs; });
  // Replies run in order on one queue: once the next reply is in, a second
  // run of the first block would have happened.
  EXPECT_EQ(client.echo("yes"), std::optional<bool>(true));
  EXPECT_EQ(runs.load(), 1);
}

TEST_F(NamedServices, InvalidateReleasesPendingBlocksWithoutRunningThem) {
  auto server = std::make_shared<EchoServer>();
  listen(server);
  auto& client = connect();
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  std::atomic<bool> ran{false};
  client.proxy().call<&IEchoService::hold>(std::string("keep"), [&ran, token](bool) { ran = true; });
  token.reset();
  ASSERT_TRUE(server->entered.waitFor(1));
  EXPECT_FALSE(watch.expired());
  client.connection->invalidate();
  ASSERT_TRUE(client.invalidations->waitFor(1));
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(ran.load());

  // Sends on an ended connection: dropped, blocks never run; a proxy with
  // an error handler hears of it once.
  auto later = std::make_shared<int>(0);
  std::weak_ptr<int> watchLater = later;
  client.proxy().call<&IEchoService::echo>(std::string("yes"), [&ran, later](bool) { ran = true; });
  later.reset();
  EXPECT_TRUE(watchLater.expired());
  EventCounter errors;
  client.connection->remoteObjectProxyWithErrorHandler<IEchoService>([&](const Error& error) {
    EXPECT_EQ(error.code, XPCConnection::connectionInvalid);
    errors.add();
  }).call<&IEchoService::echo>(std::string("yes"), [&ran](bool) { ran = true; });
  ASSERT_TRUE(errors.waitFor(1));
  EXPECT_FALSE(ran.load());
  EXPECT_EQ(client.invalidations->count(), 1);
  EXPECT_EQ(client.interruptions->count(), 0);
}

TEST_F(NamedServices, ARestartedListenerInterruptsTheClientOnceAndServesItsNextCall) {
  auto first = std::make_shared<EchoServer>();
  auto listener = listen(first);
  auto& client = connect();
  EXPECT_EQ(client.echo("yes"), std::optional<bool>(true));
  auto pending = std::make_shared<int>(0);
  std::weak_ptr<int> watch = pending;
  client.proxy().call<&IEchoService::hold>(std::string("keep"), [pending](bool) {});
  pending.reset();
  ASSERT_TRUE(first->entered.waitFor(1));

  listener->invalidate();
  serverConnection(0).connection->invalidate();
  ASSERT_TRUE(client.interruptions->waitFor(1));
  EXPECT_TRUE(watch.expired());

  auto second = std::make_shared<EchoServer>();
  listen(second);
  EXPECT_EQ(client.echo("yes"), std::optional<bool>(true));
  client.proxy().call<&IEchoService::post>(std::int64_t{1}, Value());
  ASSERT_TRUE(second->posts.waitFor(1));
  EXPECT_EQ(first->posts.count(), 0);
  EXPECT_EQ(client.interruptions->count(), 1);
  EXPECT_EQ(client.invalidations->count(), 0);
}

// The client side of the child-process tests: run by the test executable
// itself in a child (see spawnChild); skipped in an ordinary run.
TEST(NamedServicesChild, ClientProcess) {
  const char* name = std::getenv(kChildVariable);
  if (!name) GTEST_SKIP() << "runs only as the child of a named-services test";
  vozi::test::registerServiceRecords();
  auto connection = XPCConnection::connectToService(name);
  connection->setRemoteObjectInterface(vozi::test::echoInterface());
  connection->resume();
  auto proxy = connection->remoteObjectProxy<IEchoService>();
  for (std::int64_t i = 1; i <= 3; ++i) proxy.call<&IEchoService::post>(i, Value());
  // The last call's answer (or its loss) tells that everything went out.
  std::promise<void> done;
  connection->remoteObjectProxyWithErrorHandler<IEchoService>([&](const Error&) { done.set_value(); })
      .call<&IEchoService::echo>(std::string("yes"), [&](bool) { done.set_value(); });
  done.get_future().wait_for(std::chrono::seconds(60));
  ::_exit(0);
}

namespace {

// Runs NamedServicesChild.ClientProcess in a new process of this executable,
// as `uid` when one is given (root only). Returns its pid.
pid_t spawnChild(std::optional<uid_t> uid = std::nullopt) {
  return vozi::test::spawnProcess(std::filesystem::read_symlink("/proc/self/exe").string(),
                            {"--gtest_filter=NamedServicesChild.ClientProcess"}, uid,
                            {std::string(kChildVariable) + "=" + kService});
}

}  // namespace

TEST_F(NamedServices, AClientProcessThatExitsGivesOneInvalidationAfterItsCalls) {
  auto server = std::make_shared<EchoServer>();
  listen(server);
  const pid_t child = spawnChild();
  ASSERT_GT(child, 0);
  Watched connection = serverConnection(0);
  // Posts seen by the invalidation handler: all three came first.
  auto seenAtEnd = std::make_shared<std::promise<std::size_t>>();
  connection.connection->setInvalidationHandler([server, seenAtEnd, counter = connection.invalidations] {
    seenAtEnd->set_value(server->posted().size());
    counter->add();
  });
  const int status = vozi::test::reapProcess(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_TRUE(connection.invalidations->waitFor(1));
  EXPECT_EQ(seenAtEnd->get_future().get(), 3u);
  EXPECT_EQ(server->posted(), (std::vector<std::int64_t>{1, 2, 3}));
  EXPECT_EQ(connection.connection->peerPID(), child);
  EXPECT_EQ(connection.connection->peerUID(), ::getuid());
  EXPECT_EQ(connection.invalidations->count(), 1);
  EXPECT_EQ(connection.interruptions->count(), 0);
}

TEST_F(NamedServices, TheAcceptHookRefusesAnotherUserBeforeAnyFrame) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  ASSERT_EQ(::chmod(root_.path().c_str(), 0755), 0);
  auto server = std::make_shared<EchoServer>();
  std::atomic<int> asked{0};
  listen(server, [&](uid_t uid, pid_t) {
    ++asked;
    return uid != 65534;
  });
  const pid_t child = spawnChild(65534);
  ASSERT_GT(child, 0);
  const int status = vozi::test::reapProcess(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(log_->waitFor("refused a connection from uid 65534"));
  EXPECT_EQ(server->posts.count(), 0);
  EXPECT_EQ(accepted_.count(), 0);
  // The child's calls after the first refusal connect again, and are
  // refused again.
  EXPECT_GE(asked.load(), 1);
}

// Every queue a peer can fill has a cap; a peer past one is dropped.
TEST_F(NamedServices, CallsPilingUpBehindABlockedMethodDropTheClient) {
  auto server = std::make_shared<EchoServer>();
  XPCConnection::Limits limits;
  limits.maxBacklogBytes = 8 * 1024;
  listen(server, nullptr, limits);
  auto& client = connect();
  client.proxy().call<&IEchoService::hold>(std::string("block"), [](bool) {});
  ASSERT_TRUE(server->entered.waitFor(1));
  const Value padding(Value::Dictionary{{"padding", Value(std::string(1024, 'p'))}});
  for (std::int64_t i = 0; i < 20; ++i) client.proxy().call<&IEchoService::post>(i, padding);
  EXPECT_TRUE(log_->waitFor("bytes of calls wait to be delivered"));
  server->release();
  ASSERT_TRUE(serverConnection(0).invalidations->waitFor(1));
  ASSERT_TRUE(client.interruptions->waitFor(1));
  EXPECT_LT(server->posts.count(), 20);
}

TEST_F(NamedServices, TooManyRepliesPendingDropThePeer) {
  auto server = std::make_shared<EchoServer>();
  listen(server);
  XPCConnection::Limits limits;
  limits.maxPendingReplies = 2;
  auto& client = connect(false, limits);
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  for (int i = 0; i < 2; ++i) client.proxy().call<&IEchoService::hold>(std::string("keep"), [token](bool) {});
  token.reset();
  ASSERT_TRUE(server->entered.waitFor(2));
  EventCounter errors;
  client.connection->remoteObjectProxyWithErrorHandler<IEchoService>([&](const Error&) { errors.add(); })
      .call<&IEchoService::hold>(std::string("keep"), [](bool) { ADD_FAILURE() << "no reply was due"; });
  EXPECT_TRUE(log_->waitFor("replies pending"));
  ASSERT_TRUE(errors.waitFor(1));
  ASSERT_TRUE(client.interruptions->waitFor(1));
  EXPECT_TRUE(watch.expired());
}

TEST_F(NamedServices, APeerThatDoesNotReadIsDropped) {
  auto server = std::make_shared<EchoServer>();
  XPCConnection::Limits limits;
  limits.maxBacklogBytes = 64 * 1024;
  listen(server, nullptr, limits);
  auto folder = ServiceFolder::open(false);
  ASSERT_TRUE(folder.ok());
  auto silent = ServiceSocket::connect(**folder, kService);  // never reads
  ASSERT_TRUE(silent.ok());
  Watched connection = serverConnection(0);
  auto proxy = connection.connection->remoteObjectProxy<IEchoService>();
  const Value padding(Value::Dictionary{{"padding", Value(std::string(16 * 1024, 'p'))}});
  for (std::int64_t i = 0; i < 1000 && connection.invalidations->count() == 0; ++i)
    proxy.call<&IEchoService::post>(i, padding);
  EXPECT_TRUE(log_->waitFor("the peer does not read"));
  ASSERT_TRUE(connection.invalidations->waitFor(1));
}

namespace {

// A frame as a client would send it: header and keyed archive of a call.
Data callFrame(const std::string& selector, const std::function<void(KeyedArchiver&)>& arguments) {
  KeyedArchiver archiver;
  archiver.encode("selector", selector);
  archiver.encodeInt64("replyID", 0);
  arguments(archiver);
  auto body = archiver.finishEncoding();
  EXPECT_TRUE(body.ok());
  Data frame(ServiceFrameReader::kHeaderSize);
  ServiceFrameReader::writeHeader(body->size(), frame.data());
  frame.insert(frame.end(), body->begin(), body->end());
  return frame;
}

Data postFrame(std::int64_t sequence, const Value& userInfo) {
  return callFrame("post:userInfo:", [&](KeyedArchiver& a) {
    a.encodeInt64("a0", sequence);
    a.encodePropertyList("a1", userInfo);
  });
}

struct Refusal {
  const char* name;
  std::function<Data()> frame;
  const char* logged;
  bool ends;  // the connection ends: the valid call after it is not delivered
};

}  // namespace

TEST_F(NamedServices, RefusedFramesAreLoggedAndOnlyAnOversizedOneEndsTheConnection) {
  const std::vector<Refusal> cases = {
      {"a date inside a dictionary argument",
       [] { return postFrame(1, Value(Value::Dictionary{{"when", Value(Date(1000.0))}})); }, "refused a call of post",
       false},
      {"a record of a class the list does not name",
       [] {
         return callFrame("scan:reply:", [](KeyedArchiver& a) {
           auto record = std::make_shared<ScanRecord>("outer", 1);
           record->children.push_back(std::make_shared<vozi::test::ForeignRecord>("inner", 2));
           a.encodeArray("a0", Records{record});
         });
       },
       "refused a call of scan", false},
      {"an unknown selector, with a line break to forge a log line",
       [] { return callFrame("shutdown:\nforged", [](KeyedArchiver&) {}); }, "unknown selector 'shutdown:?forged'",
       false},
      {"an argument of another kind", [] { return callFrame("echo:reply:", [](KeyedArchiver& a) { a.encodeInt64("a0", 5); }); },
       "refused a call of echo", false},
      {"bytes that are no archive",
       [] {
         Data frame(ServiceFrameReader::kHeaderSize);
         ServiceFrameReader::writeHeader(3, frame.data());
         frame.insert(frame.end(), {'a', 'b', 'c'});
         return frame;
       },
       "unreadable frame", false},
      {"a header one byte over the cap",
       [] {
         Data frame(ServiceFrameReader::kHeaderSize);
         ServiceFrameReader::writeHeader(XPCConnection::kMaxFrameBytes + 1, frame.data());
         return frame;
       },
       "over the cap", true},
  };
  auto server = std::make_shared<EchoServer>();
  listen(server);
  auto folder = ServiceFolder::open(false);
  ASSERT_TRUE(folder.ok());
  int delivered = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    auto socket = ServiceSocket::connect(**folder, kService);
    ASSERT_TRUE(socket.ok());
    Watched connection = serverConnection(i);
    const Data bad = c.frame();
    const Data good = postFrame(100 + static_cast<std::int64_t>(i), Value(Value::Dictionary{{"n", Value(1)}}));
    ASSERT_EQ(ServiceSocket::sendAll((*socket)->get(), bad.data(), bad.size()), 0);
    ServiceSocket::sendAll((*socket)->get(), good.data(), good.size());
    EXPECT_TRUE(log_->waitFor(c.logged));
    if (c.ends) {
      ASSERT_TRUE(connection.invalidations->waitFor(1));
      EXPECT_EQ(server->posts.count(), delivered);
    } else {
      ASSERT_TRUE(server->posts.waitFor(++delivered));
      EXPECT_EQ(server->posted().back(), 100 + static_cast<std::int64_t>(i));
      EXPECT_EQ(connection.invalidations->count(), 0);
    }
  }
}

// A server of raw frames: answers a call twice, and once to a call that was
// never made. The client runs its block once and drops the rest.
TEST_F(NamedServices, ARepliedTwiceOrUnknownReplyIsDropped) {
  auto folder = ServiceFolder::open(true);
  ASSERT_TRUE(folder.ok());
  ino_t inode = 0;
  auto listening = ServiceSocket::listen(**folder, kService, inode);
  ASSERT_TRUE(listening.ok());
  auto& client = connect();
  EventCounter runs;
  client.proxy().call<&IEchoService::echo>(std::string("yes"), [&](bool) { runs.add(); });

  int never[2];
  ASSERT_EQ(::pipe(never), 0);
  auto accepted = ServiceSocket::accept(**listening, never[0]);
  ::close(never[0]);
  ::close(never[1]);
  ASSERT_TRUE(accepted.ok() && *accepted);
  const int fd = (*accepted)->get();
  ServiceFrameReader reader(1 << 20);
  std::vector<Data> frames;
  std::uint8_t buffer[4096];
  while (frames.empty()) {
    const long got = ServiceSocket::receive(fd, buffer, sizeof buffer);
    ASSERT_GT(got, 0);
    ASSERT_TRUE(reader.append(buffer, static_cast<std::size_t>(got), frames).ok());
  }
  KeyedUnarchiver call(frames.front());
  const std::int64_t replyID = call.decodeInt64ForKey("replyID");
  ASSERT_NE(replyID, 0);
  auto reply = [&](std::int64_t to) {
    KeyedArchiver archiver;
    archiver.encodeInt64("replyTo", to);
    archiver.encodeBool("a0", true);
    auto body = archiver.finishEncoding();
    std::uint8_t header[ServiceFrameReader::kHeaderSize];
    ServiceFrameReader::writeHeader(body->size(), header);
    ASSERT_EQ(ServiceSocket::sendAll(fd, header, sizeof header), 0);
    ASSERT_EQ(ServiceSocket::sendAll(fd, body->data(), body->size()), 0);
  };
  reply(replyID);
  reply(replyID);
  reply(replyID + 1000);
  EXPECT_TRUE(log_->waitFor("dropped a reply to unknown call " + std::to_string(replyID + 1000)));
  // Frames are handled in order: the second answer was dropped before the third.
  EXPECT_EQ(log_->countEndingWith("dropped a reply to unknown call " + std::to_string(replyID)), 1);
  EXPECT_EQ(runs.count(), 1);
  ServiceSocket::unlinkSocket(**folder, kService, inode);
}

TEST_F(NamedServices, TheUnlistedMethodOfTheCallersViewIsRefusedByTheServer) {
  auto server = std::make_shared<EchoServer>();
  listen(server);
  auto& client = connect(true);
  client.proxy().call<&IEchoService::unlisted>(std::string("x"));
  EXPECT_EQ(client.echo("yes"), std::optional<bool>(true));
  EXPECT_TRUE(log_->waitFor("unknown selector 'unlisted:'"));
  EXPECT_EQ(server->unlistedCalls.count(), 0);
}

namespace {

struct FolderLayout {
  const char* name;
  std::function<void(const vozi::test::TempRoot&)> build;
  bool listens;
};

}  // namespace

TEST_F(NamedServices, TheSocketFolderIsMadeAndChecked) {
  const std::vector<FolderLayout> layouts = {
      {"nothing there yet", [](const vozi::test::TempRoot&) {}, true},
      {"a macOS tree: /var links to private/var",
       [](const vozi::test::TempRoot& r) {
         r.makeDirectory("/private/var/run");
         std::filesystem::create_symlink("private/var", r / "/var");
       },
       true},
      {"a Linux host: /var/run links to /run",
       [](const vozi::test::TempRoot& r) {
         r.makeDirectory("/run");
         r.makeDirectory("/var");
         std::filesystem::create_symlink("/run", r / "/var/run");
       },
       true},
      {"the folder is a link",
       [](const vozi::test::TempRoot& r) {
         r.makeDirectory("/var/run");
         r.makeDirectory("/elsewhere");
         std::filesystem::create_symlink(r / "/elsewhere", r / "/var/run/div.ez.iru");
       },
       false},
      {"/var/run links somewhere else",
       [](const vozi::test::TempRoot& r) {
         r.makeDirectory("/var");
         r.makeDirectory("/tmp/run");
         std::filesystem::create_symlink("/tmp/run", r / "/var/run");
       },
       false},
  };
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.name);
    vozi::test::TempRoot root;
    layout.build(root);
    auto listener = XPCListener::make(kService);
    const bool listened = listener->resume().ok();
    EXPECT_EQ(listened, layout.listens);
    if (!listened) {
      EXPECT_TRUE(log_->waitFor("no listener"));
      continue;
    }
    auto folder = ServiceFolder::open(false);
    ASSERT_TRUE(folder.ok());
    struct stat info {};
    ASSERT_EQ(::fstat((*folder)->get(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    ASSERT_EQ(::fstatat((*folder)->get(), kService, &info, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0666u);
    listener->invalidate();
  }
}

TEST_F(NamedServices, AFolderOwnedByAnotherUserStopsTheListener) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the folder away";
  const std::string folder = root_.makeDirectory(ServiceFolder::kTreePath);
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  auto listener = XPCListener::make(kService);
  EXPECT_FALSE(listener->resume().ok());
  EXPECT_TRUE(log_->waitFor("owned by uid 65534"));
}

TEST(ServiceFrameReader, FramesComeWholeHoweverTheBytesArrive) {
  Data stream;
  const std::vector<std::string> bodies = {"", "a", std::string(70000, 'x'), "last"};
  for (const auto& body : bodies) {
    std::uint8_t header[ServiceFrameReader::kHeaderSize];
    ServiceFrameReader::writeHeader(body.size(), header);
    stream.insert(stream.end(), header, header + sizeof header);
    stream.insert(stream.end(), body.begin(), body.end());
  }
  for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{4096}, stream.size()}) {
    SCOPED_TRACE(chunk);
    ServiceFrameReader reader(1 << 20);
    std::vector<Data> frames;
    for (std::size_t at = 0; at < stream.size(); at += chunk)
      ASSERT_TRUE(reader.append(stream.data() + at, std::min(chunk, stream.size() - at), frames).ok());
    ASSERT_EQ(frames.size(), bodies.size());
    for (std::size_t i = 0; i < bodies.size(); ++i) EXPECT_EQ(std::string(frames[i].begin(), frames[i].end()), bodies[i]);
  }
}

TEST(ServiceFrameReader, AHeaderOverTheCapFailsAndReservesNothing) {
  ServiceFrameReader reader(100);
  std::vector<Data> frames;
  std::uint8_t header[ServiceFrameReader::kHeaderSize];
  ServiceFrameReader::writeHeader(100, header);
  ASSERT_TRUE(reader.append(header, sizeof header, frames).ok());
  const std::string body(100, 'b');
  ASSERT_TRUE(reader.append(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), frames).ok());
  ASSERT_EQ(frames.size(), 1u);
  ServiceFrameReader::writeHeader(101, header);
  EXPECT_FALSE(reader.append(header, sizeof header, frames).ok());
  EXPECT_FALSE(reader.append(header, 1, frames).ok());
  EXPECT_EQ(frames.size(), 1u);
}
