// What one client, or one user's many clients, can make the daemon hold:
// real Unix sockets, a small accept loop that admits clients the way the
// daemon's server does, and the process's own memory and log as evidence.

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipc/ConnectionAdmission.h"
#include "ipc/IPCConnection.h"
#include "SocketTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempRoot.h"

#ifdef __SANITIZE_ADDRESS__
extern "C" void __sanitizer_purge_allocator();
#endif

namespace vozi {
namespace {

using platform::Value;
using Dictionary = Value::Dictionary;

// A safety net against a hang, not a timing: every wait ends on its event.
constexpr auto kPatience = std::chrono::seconds(120);

constexpr uid_t kSession = 501;
constexpr uid_t kAlice = 1001;

constexpr std::size_t kMiB = 1024 * 1024;
// The size of each reply a "big" request asks for.
constexpr std::size_t kBigReply = kMiB;
// What the process may keep of a dropped client once it has gone: allocator
// slack (pools, thread caches, pages not handed back), not the client's data.
constexpr std::size_t kMemoryMargin = 16 * kMiB;
// What a flood of one uid's unfinished requests may add to the process: the
// uid's byte cap (16 MiB) with room for growth slack of the request buffers
// and the threads of its connections.
constexpr std::size_t kFloodTotal = 48 * kMiB;

// Resident memory of the process, once the allocator has handed back what
// it can (the sanitizer's quarantine would otherwise hold every freed block).
std::size_t residentBytes() {
#ifdef __SANITIZE_ADDRESS__
  __sanitizer_purge_allocator();
#else
  ::malloc_trim(0);
#endif
  std::ifstream statm("/proc/self/statm");
  std::size_t size = 0;
  std::size_t resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Stands in for the daemon's server: accepts clients on a Unix socket and
// admits each through a ConnectionAdmission before it makes a connection;
// answers "ping" with "pong" and "big" with a reply of kBigReply bytes; and
// stops a connection when it hears an error from its read side, as the
// server does.
class Server : public IPCConnectionDelegate, public std::enable_shared_from_this<Server> {
 public:
  Server(const std::string& path, std::shared_ptr<ConnectionAdmission> admission)
      : listener_(sockettest::unixListener(path)),
        admission_(std::move(admission)),
        queue_(platform::DispatchQueue::serial("div.ez.iru.UnixSocketIPCServer.dataSyncQueue")) {}

  void start() {
    acceptThread_ = std::thread([self = shared_from_this()] { self->acceptLoop(); });
  }

  // Stops accepting, stops every connection and waits until all are gone.
  void shutdown() {
    listener_->close();
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::shared_ptr<IPCConnection>> open;
    std::vector<std::weak_ptr<IPCConnection>> all;
    {
      std::lock_guard lock(mutex_);
      open.swap(open_);
      all = all_;
    }
    for (auto& connection : open) connection->stop();
    open.clear();
    waitUntilConnectionsGone(all);
  }

  // Waits until every connection made so far has stopped and gone.
  void waitUntilConnectionsGone() {
    std::vector<std::weak_ptr<IPCConnection>> all;
    {
      std::lock_guard lock(mutex_);
      all = all_;
    }
    waitUntilConnectionsGone(all);
  }

  struct Decisions {
    std::size_t admitted = 0;
    std::size_t refused = 0;
  };
  // The decisions once `count` have been made.
  Decisions waitForDecisions(std::size_t count) {
    std::unique_lock lock(mutex_);
    EXPECT_TRUE(changed_.wait_for(lock, kPatience, [&] { return decisions_.admitted + decisions_.refused >= count; }));
    return decisions_;
  }
  // Waits until `count` connections have been dropped with `code`.
  bool waitForDrops(long code, std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return dropsWith(code) >= count; });
  }
  std::size_t drops(long code) {
    std::lock_guard lock(mutex_);
    return dropsWith(code);
  }

  void connection(const std::shared_ptr<IPCConnection>& connection, const std::optional<Dictionary>& message,
                  const std::optional<IPCConnectionError>& error) override {
    if (message) {
      const auto method = message->find("method");
      const std::string name =
          method != message->end() && method->second.asString() ? *method->second.asString() : "";
      if (name == "ping") connection->scheduleResponse(Dictionary{{"method", Value("pong")}});
      if (name == "big")
        connection->scheduleResponse(Dictionary{{"method", Value("big")},
                                                {"parameters", Value(std::string(kBigReply - 64, 'b'))}});
      return;
    }
    connection->stop();
    std::lock_guard lock(mutex_);
    if (error && std::holds_alternative<platform::Error>(*error))
      errorCodes_.push_back(std::get<platform::Error>(*error).code);
    std::erase(open_, connection);
    changed_.notify_all();
  }
  void connection(const std::shared_ptr<IPCConnection>&, const std::optional<IPCConnectionError>&) override {}

 private:
  void acceptLoop() {
    for (;;) {
      auto accepted = listener_->acceptClientConnection();
      if (!accepted) return;  // the listener was closed
      auto ticket = admission_->admit(**accepted);
      std::lock_guard lock(mutex_);
      if (!ticket) {
        (*accepted)->close();
        ++decisions_.refused;
      } else {
        auto connection = IPCConnection::make(*accepted, shared_from_this(), queue_, std::move(ticket));
        open_.push_back(connection);
        all_.push_back(connection);
        connection->start();
        ++decisions_.admitted;
      }
      changed_.notify_all();
    }
  }

  std::size_t dropsWith(long code) const { return static_cast<std::size_t>(std::count(errorCodes_.begin(), errorCodes_.end(), code)); }

  static void waitUntilConnectionsGone(const std::vector<std::weak_ptr<IPCConnection>>& all) {
    // Blocks still queued hold a connection; it goes (and takes its queue
    // threads with it) once they have run.
    for (const auto& connection : all)
      while (!connection.expired()) std::this_thread::yield();
  }

  Socket::Ptr listener_;
  std::shared_ptr<ConnectionAdmission> admission_;
  platform::DispatchQueuePtr queue_;
  std::thread acceptThread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Decisions decisions_;
  std::vector<std::shared_ptr<IPCConnection>> open_;
  std::vector<std::weak_ptr<IPCConnection>> all_;
  std::vector<long> errorCodes_;
};

// A clock the test moves by hand; read from the connections' threads.
struct ManualClock {
  std::atomic<std::int64_t> milliseconds{0};
  LogRateLimiter::Clock function() {
    return [this] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(milliseconds.load())); };
  }
};

class IPCConnectionLimitsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& client : clients_) client->close();
    if (server_) server_->shutdown();
  }

  // Starts the server; the uid of each client is the one connect() names.
  void startServer(ConnectionAdmission::Limits limits = {}, LogRateLimiter::Clock clock = {}) {
    admission_ = ConnectionAdmission::make(limits, [this](const Socket&) { return std::optional<uid_t>(nextUid_.load()); },
                                           std::move(clock));
    admission_->setSessionUid(kSession);
    server_ = std::make_shared<Server>(root_.path() + "/limits.socket", admission_);
    server_->start();
  }

  // A client of `uid`, once the server has decided on it: admitted or not.
  Socket::Ptr connect(uid_t uid) {
    nextUid_ = uid;
    auto client = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
    EXPECT_TRUE(client);
    auto connected = (*client)->connect(root_.path() + "/limits.socket");
    EXPECT_TRUE(connected) << (connected ? "" : connected.error().description());
    server_->waitForDecisions(++connects_);
    clients_.push_back(*client);
    return *client;
  }

  // Sends a ping and reads the pong: the client is being answered.
  static void expectPong(Socket& client) {
    const std::string pong = "{\"method\":\"pong\"}";
    ASSERT_TRUE(client.write(std::string_view("{\"method\":\"ping\"}\n")));
    const auto data = sockettest::readExactly(client, pong.size());
    EXPECT_EQ(std::string(data.begin(), data.end()), pong);
  }

  // Everything the server sends until it closes the client.
  static std::size_t bytesUntilClosed(Socket& client) {
    std::size_t total = 0;
    for (;;) {
      platform::Data data;
      auto count = client.read(data);
      if (!count || *count == 0) return total;
      total += *count;
    }
  }

  // A first client served and gone, so that the threads, pools and caches
  // every connection needs exist before the memory is measured.
  void warmUp() {
    auto client = connect(kSession);
    expectPong(*client);
    client->close();
    server_->waitUntilConnectionsGone();
  }

  test::TempRoot root_;
  test::LogCapture log_;
  // Read by the connections' log budgets until the server has shut down.
  ManualClock clock_;
  std::shared_ptr<ConnectionAdmission> admission_;
  std::shared_ptr<Server> server_;
  std::atomic<uid_t> nextUid_{kAlice};
  std::size_t connects_ = 0;
  std::vector<Socket::Ptr> clients_;
};

TEST_F(IPCConnectionLimitsTest, AClientThatNeverReadsIsDroppedAtTheReplyCapAndItsMemoryGoesBack) {
  startServer();
  warmUp();
  const std::size_t baseline = residentBytes();

  // Small requests for big replies, none of which the client reads.
  constexpr std::size_t kRequests = 100;
  auto client = connect(kAlice);
  std::string requests;
  for (std::size_t i = 0; i < kRequests; ++i) requests += "{\"method\":\"big\"}\n";
  ASSERT_TRUE(client->write(std::string_view(requests)));
  ASSERT_TRUE(server_->waitForDrops(IPCConnection::repliesPastLimit, 1));
  EXPECT_EQ(log_.count("Replies waiting for the client would hold more than 67108864 bytes, dropping the connection"),
            1u);

  // The client was cut off after about the cap: what reached its socket is
  // the cap, the reply being written and what the socket buffers held.
  const std::size_t received = bytesUntilClosed(*client);
  EXPECT_LT(received, IPCConnection::maxPendingReplyBytes + 4 * kBigReply);
  EXPECT_LT(received, kRequests * kBigReply / 2);

  client->close();
  server_->waitUntilConnectionsGone();
  const std::size_t after = residentBytes();
  RecordProperty("baselineBytes", std::to_string(baseline));
  RecordProperty("afterBytes", std::to_string(after));
  EXPECT_LE(after, baseline + kMemoryMargin) << "baseline " << baseline << ", after " << after;
}

TEST_F(IPCConnectionLimitsTest, OneUidsFloodOfUnfinishedRequestsIsCappedWhileTheSessionUserIsAnswered) {
  startServer();
  warmUp();
  const ConnectionAdmission::Limits limits = admission_->limits();
  const std::size_t baseline = residentBytes();

  // The session user is connected before the flood and stays connected.
  auto session = connect(kSession);
  expectPong(*session);

  constexpr std::size_t kFlood = 50;
  std::vector<Socket::Ptr> flood;
  for (std::size_t i = 0; i < kFlood; ++i) flood.push_back(connect(kAlice));
  const auto decisions = server_->waitForDecisions(connects_);
  // The warm-up client and the session user, then the uid's own cap.
  EXPECT_EQ(decisions.admitted, 2 + limits.connectionsPerUid);
  EXPECT_EQ(decisions.refused, kFlood - limits.connectionsPerUid);
  // A refused client is closed at once.
  for (std::size_t i = limits.connectionsPerUid; i < kFlood; ++i) EXPECT_EQ(bytesUntilClosed(*flood[i]), 0u);

  // Each admitted client sends a request just short of the line cap and
  // never finishes it. Only as many as the uid's byte cap holds are kept;
  // the others are dropped (their writes may fail part way: that is the point).
  const std::size_t requestSize = IPCConnection::maxRequestLength - 4096;
  const std::string unfinished = "{\"method\":\"" + std::string(requestSize - 11, 'x');
  for (std::size_t i = 0; i < limits.connectionsPerUid; ++i) (void)flood[i]->write(std::string_view(unfinished));
  const std::size_t kept = limits.heldBytesPerUid / requestSize;
  ASSERT_LT(kept, limits.connectionsPerUid);
  ASSERT_TRUE(server_->waitForDrops(IPCConnection::heldBytesPastLimit, limits.connectionsPerUid - kept));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (admission_->usage(kAlice).heldBytes != kept * requestSize && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(admission_->usage(kAlice).heldBytes, kept * requestSize);
  EXPECT_LE(admission_->usage(kAlice).heldBytes, limits.heldBytesPerUid);
  EXPECT_EQ(server_->drops(IPCConnection::heldBytesPastLimit), limits.connectionsPerUid - kept);

  // The process holds the flood within the stated total.
  const std::size_t during = residentBytes();
  RecordProperty("baselineBytes", std::to_string(baseline));
  RecordProperty("floodBytes", std::to_string(during));
  EXPECT_LE(during, baseline + kFloodTotal) << "baseline " << baseline << ", during " << during;

  // All the while the session user is answered, on its old connection and
  // on a new one.
  expectPong(*session);
  expectPong(*connect(kSession));
}

TEST_F(IPCConnectionLimitsTest, AHundredThousandMalformedRequestsWriteAFewLinesAndTheirCount) {
  startServer({}, clock_.function());
  const ConnectionAdmission::Limits limits = admission_->limits();
  auto client = connect(kAlice);
  // Everything the connection logs is allowed for from here on.
  log_.take();

  constexpr std::size_t kRequests = 100'000;
  for (std::size_t i = 0; i < kRequests; ++i) ASSERT_TRUE(client->write(std::string_view("x\n")));
  // Requests are handled in order: once the pong is back, every malformed
  // request before it has been.
  expectPong(*client);
  const auto flood = log_.take();
  EXPECT_LE(flood.size(), limits.logLinesPerSecond);

  // A second later the next line says how many were left out.
  clock_.milliseconds += 1000;
  expectPong(*client);
  const auto later = log_.take();
  EXPECT_LE(later.size(), limits.logLinesPerSecond + 1);
  std::uint64_t suppressed = 0;
  for (const auto& line : later) {
    const auto at = line.find("]: uid 1001: ");
    if (at != std::string::npos) suppressed = std::stoull(line.substr(at + 13));
  }
  EXPECT_GE(suppressed, kRequests - limits.logLinesPerSecond);
}

}  // namespace
}  // namespace vozi
