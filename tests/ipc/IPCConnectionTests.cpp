#include <gtest/gtest.h>
#include <sys/syscall.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Logger.h"
#include "ipc/IPCConnection.h"
#include "ipc/IPCShared.h"
#include "platform/Json.h"
#include "SocketTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempRoot.h"

using namespace vozi;
using platform::Value;
using Dictionary = Value::Dictionary;

namespace {

// A safety net against a hang, not a timing: every wait ends on its event.
constexpr auto kPatience = std::chrono::seconds(60);

// Records every delegate call and whether it came on the callback queue.
class Recorder : public IPCConnectionDelegate {
 public:
  struct Event {
    enum Kind { message, readError, write } kind;
    std::optional<Dictionary> body;
    std::optional<IPCConnectionError> error;
    bool onCallbackQueue = false;
  };

  explicit Recorder(platform::DispatchQueuePtr queue) : queue_(std::move(queue)) {}

  void connection(const std::shared_ptr<IPCConnection>&, const std::optional<Dictionary>& message,
                  const std::optional<IPCConnectionError>& error) override {
    add({message ? Event::message : Event::readError, message, error, queue_->isCurrent()});
  }
  void connection(const std::shared_ptr<IPCConnection>&, const std::optional<IPCConnectionError>& error) override {
    add({Event::write, std::nullopt, error, queue_->isCurrent()});
  }

  // The first `count` events, once they have come.
  std::vector<Event> waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    EXPECT_TRUE(changed_.wait_for(lock, kPatience, [&] { return events_.size() >= count; }))
        << "only " << events_.size() << " of " << count << " delegate calls came";
    return events_;
  }
  std::vector<Event> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  void add(Event event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }
  platform::DispatchQueuePtr queue_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

Dictionary request(const std::string& method) { return Dictionary{{"method", Value(method)}}; }

std::string methodOf(const Recorder::Event& event) {
  if (!event.body) return "<none>";
  auto it = event.body->find("method");
  return it != event.body->end() && it->second.asString() ? *it->second.asString() : "<no method>";
}

// Waits until a thread of a dispatch queue, found by the name its threads
// carry (the last 15 characters of the label), sits in one of the system
// calls. Threads of queues from earlier tests may still be on their way out,
// so every thread of that name is looked at.
void waitUntilQueueBlocked(const std::string& label, std::initializer_list<long> syscalls) {
  const std::string name = label.size() > 15 ? label.substr(label.size() - 15) : label;
  for (;;) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      std::ifstream comm(task.path() / "comm");
      std::string text;
      std::getline(comm, text);
      if (text != name) continue;
      std::ifstream in(task.path() / "syscall");
      long number = -1;
      if (!(in >> number)) continue;
      for (long wanted : syscalls)
        if (number == wanted) return;
    }
    std::this_thread::yield();
  }
}

class IPCConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The daemon's own socket path, under the test's root.
    root_.makeDirectory("/Library/Application Support/div.ez.iru");
    pair_ = sockettest::connectUnix(UnixSocketIPCServerConstant::Path());
    ASSERT_TRUE(pair_.server && pair_.client);
    callbackQueue_ = platform::DispatchQueue::serial("div.ez.iru.UnixSocketIPCServer.dataSyncQueue");
    recorder_ = std::make_shared<Recorder>(callbackQueue_);
    connection_ = IPCConnection::make(pair_.server, recorder_, callbackQueue_);
  }

  void TearDown() override {
    if (connection_) connection_->stop();
    std::weak_ptr<IPCConnection> gone = connection_;
    connection_.reset();
    // Blocks still queued hold the connection; it goes (and takes its queue
    // threads with it) once they have run.
    while (!gone.expired()) std::this_thread::yield();
    callbackQueue_.reset();
  }

  void send(const std::string& bytes) {
    auto written = pair_.client->write(std::string_view(bytes));
    ASSERT_TRUE(written) << written.error().description();
  }

  // Reads what the client has been sent until `size` bytes have come.
  std::string receive(std::size_t size) {
    const auto data = sockettest::readExactly(*pair_.client, size);
    return std::string(data.begin(), data.end());
  }

  test::TempRoot root_;
  test::LogCapture log_;
  sockettest::Connection pair_;
  platform::DispatchQueuePtr callbackQueue_;
  std::shared_ptr<Recorder> recorder_;
  std::shared_ptr<IPCConnection> connection_;
};

}  // namespace

TEST_F(IPCConnectionTest, TwoRequestsInOneWriteArriveInOrderOnTheCallbackQueue) {
  connection_->start();
  send("{\"method\":\"getTrackingData\"}\n{\"method\":\"getCleaningHistory\",\"parameters\":{}}\n");
  const auto events = recorder_->waitFor(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].body, request("getTrackingData"));
  EXPECT_EQ(events[1].body,
            (Dictionary{{"method", Value("getCleaningHistory")}, {"parameters", Value(Dictionary{})}}));
  for (const auto& event : events) {
    EXPECT_EQ(event.kind, Recorder::Event::message);
    EXPECT_FALSE(event.error.has_value());
    EXPECT_TRUE(event.onCallbackQueue);
  }
}

TEST_F(IPCConnectionTest, RequestSplitAcrossThreeWritesArrivesOnce) {
  connection_->start();
  const std::string parts[] = {"{\"method\":\"user", "Email\",\"parameters\":{\"email\":\"a@b.c", "\"}}\n"};
  // Each part is read on its own before the next is sent.
  for (const auto& part : parts) {
    send(part);
    ASSERT_TRUE(log_.waitForLine("Bytes read: " + std::to_string(part.size()) + ",")) << part;
  }
  send("{\"method\":\"quit\"}\n");
  const auto events = recorder_->waitFor(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].body,
            (Dictionary{{"method", Value("userEmail")}, {"parameters", Value(Dictionary{{"email", Value("a@b.c")}})}}));
  EXPECT_EQ(methodOf(events[1]), "quit");
  EXPECT_EQ(log_.count("Error decoding read data"), 0u);
}

TEST_F(IPCConnectionTest, UndecodableLinesAreLoggedAndDroppedWhileTheConnectionGoesOn) {
  connection_->start();
  send("\n\nnot json\n[1,2]\n{\"method\":\"\xff\xfe\"}\n{\"method\":\"first\"}\n");
  auto events = recorder_->waitFor(1);
  EXPECT_EQ(methodOf(events[0]), "first");
  EXPECT_EQ(log_.count("Error decoding read data: \"not json\""), 1u);
  EXPECT_EQ(log_.count("Error decoding read data: \"[1,2]\""), 1u);
  EXPECT_EQ(log_.count("Error decoding read data: <15 bytes that are not UTF-8>"), 1u);
  EXPECT_EQ(log_.count("Error decoding read data"), 3u);

  // Still connected: the next request comes through, and nothing else did.
  send("{\"method\":\"second\"}");  // the last request may lack its line feed
  events = recorder_->waitFor(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(methodOf(events[1]), "second");
}

TEST_F(IPCConnectionTest, ALongRequestIsLoggedAsAShortPrefixWithItsLength) {
  connection_->start();
  const std::string longLine(1000, 'a');
  send(longLine + "\n{\"method\":\"after\"}\n");
  EXPECT_EQ(methodOf(recorder_->waitFor(1)[0]), "after");
  EXPECT_EQ(log_.count("Error decoding read data: \"" + std::string(256, 'a') + "\" (cut, 1000 bytes in all)"), 1u);
  for (const auto& line : log_.lines()) EXPECT_LT(line.size(), 600u) << line;
}

TEST_F(IPCConnectionTest, ReplyIsCompactJsonWithoutTerminatorAndKeepsNumbersExact) {
  const std::uint64_t size = std::numeric_limits<std::uint64_t>::max();
  const std::int64_t smallest = std::numeric_limits<std::int64_t>::min();
  const double timestamp = 1700000000.123456789;
  const double tiny = 5e-324;
  connection_->scheduleResponse(Dictionary{
      {"method", Value("cleaningHistory")},
      {"parameters",
       Value(Dictionary{{"totalCleanedBytes", Value(size)},
                        {"lastCleanedBytes", Value(smallest)},
                        {"lastCompleteCleanTimestamp", Value(timestamp)},
                        {"tiny", Value(tiny)},
                        {"whole", Value(2.0)},
                        {"modules", Value(Value::Array{Value(Dictionary{{"moduleName", Value("Trash \"Bin\"\n")}})})}})}});
  connection_->scheduleResponse(Dictionary{{"method", Value("trackingData")}, {"parameters", Value(Dictionary{})}});

  const std::string first =
      "{\"method\":\"cleaningHistory\",\"parameters\":{\"lastCleanedBytes\":-9223372036854775808,"
      "\"lastCompleteCleanTimestamp\":1700000000.1234567,\"modules\":[{\"moduleName\":\"Trash \\\"Bin\\\"\\n\"}],"
      "\"tiny\":5e-324,\"totalCleanedBytes\":18446744073709551615,\"whole\":2.0}}";
  const std::string second = "{\"method\":\"trackingData\",\"parameters\":{}}";
  // Back to back, in order, with nothing between or after them.
  EXPECT_EQ(receive(first.size() + second.size()), first + second);

  const auto events = recorder_->waitFor(2);
  for (const auto& event : events) {
    EXPECT_EQ(event.kind, Recorder::Event::write);
    EXPECT_FALSE(event.error.has_value());
    EXPECT_TRUE(event.onCallbackQueue);
  }

  // Read back, every number is what was sent, bit for bit.
  auto parsed = platform::Json::parse(first);
  ASSERT_TRUE(parsed);
  const Value* parameters = parsed->find("parameters");
  ASSERT_NE(parameters, nullptr);
  EXPECT_TRUE(parameters->find("totalCleanedBytes")->isUnsigned());
  EXPECT_EQ(parameters->find("totalCleanedBytes")->asUInt64(), size);
  EXPECT_EQ(parameters->find("lastCleanedBytes")->asInt64(), smallest);
  for (auto [key, expected] : {std::pair{"lastCompleteCleanTimestamp", timestamp}, {"tiny", tiny}, {"whole", 2.0}}) {
    const Value* number = parameters->find(key);
    ASSERT_TRUE(number && number->isReal()) << key;
    const double back = *number->asDouble();
    EXPECT_EQ(std::memcmp(&back, &expected, sizeof back), 0) << key;
  }
}

TEST_F(IPCConnectionTest, ReplyJsonCannotCarryIsReportedAndNotWritten) {
  connection_->scheduleResponse(Dictionary{{"method", Value("trackingData")},
                                           {"parameters", Value(Dictionary{{"when", Value(platform::Date(0))}})}});
  connection_->scheduleResponse(request("ok"));
  EXPECT_EQ(receive(15), "{\"method\":\"ok\"}");
  const auto events = recorder_->waitFor(2);
  ASSERT_EQ(events.size(), 2u);
  ASSERT_TRUE(events[0].error.has_value());
  ASSERT_TRUE(std::holds_alternative<platform::Error>(*events[0].error));
  EXPECT_EQ(std::get<platform::Error>(*events[0].error).domain, "NSCocoaErrorDomain");
  EXPECT_FALSE(events[1].error.has_value());
}

TEST_F(IPCConnectionTest, PeerThatClosesEndsTheLoopWithNotConnected) {
  connection_->start();
  send("{\"method\":\"last\"}\n{\"unfinished\":");
  pair_.client->close();
  const auto events = recorder_->waitFor(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(methodOf(events[0]), "last");
  EXPECT_EQ(events[1].kind, Recorder::Event::readError);
  ASSERT_TRUE(events[1].error.has_value());
  ASSERT_TRUE(std::holds_alternative<SocketError>(*events[1].error));
  const auto& error = std::get<SocketError>(*events[1].error);
  EXPECT_EQ(error.errorCode, Socket::SOCKET_ERR_NOT_CONNECTED);
  EXPECT_EQ(error.errorCode, -9996);
  EXPECT_FALSE(error.errorReason.has_value());
  EXPECT_EQ(error.bufferSizeNeeded, 0);
  EXPECT_TRUE(events[1].onCallbackQueue);
  // The unfinished tail is reported once, and no read follows the close.
  EXPECT_EQ(log_.count("Error decoding read data: \"{\\\"unfinished\\\":\""), 1u);
  EXPECT_EQ(log_.count("Bytes read: 0,"), 1u);
  callbackQueue_->sync([] {});
  EXPECT_EQ(recorder_->events().size(), 2u);
}

TEST_F(IPCConnectionTest, StopDuringABlockedReadWakesItAndClosesTheDescriptor) {
  const std::size_t withConnection = sockettest::openDescriptorCount();
  connection_->start();
  // Wait until the read queue's thread sits in the receive call.
  waitUntilQueueBlocked("ded.ive.IPCReadQueueQueue", {SYS_recvfrom, SYS_recvmsg, SYS_read, SYS_poll, SYS_ppoll});
  connection_->stop();
  EXPECT_EQ(pair_.server->socketfd(), Socket::SOCKET_INVALID_DESCRIPTOR);
  EXPECT_EQ(sockettest::openDescriptorCount(), withConnection - 1);

  // The peer sees the close; nothing reached the delegate.
  platform::Data data;
  auto read = pair_.client->read(data);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, 0u);
  callbackQueue_->sync([] {});
  EXPECT_TRUE(recorder_->events().empty());

  // A second stop, and a reply after stopping, change nothing.
  connection_->stop();
  connection_->scheduleResponse(request("late"));
  EXPECT_EQ(connection_->delegate(), nullptr);
}

TEST_F(IPCConnectionTest, StopBeforeStartClosesWithoutReading) {
  const std::size_t withConnection = sockettest::openDescriptorCount();
  connection_->stop();
  connection_->start();
  EXPECT_EQ(sockettest::openDescriptorCount(), withConnection - 1);
  callbackQueue_->sync([] {});
  EXPECT_TRUE(recorder_->events().empty());
}

TEST_F(IPCConnectionTest, OverlongRequestDropsTheConnection) {
  connection_->start();
  send("{\"method\":\"before\"}\n");
  ASSERT_EQ(methodOf(recorder_->waitFor(1)[0]), "before");

  // One byte past the limit, with no line feed in sight. The connection
  // gives up part way, so the client's write may fail: that is the point.
  const std::string huge = "{\"method\":\"" + std::string(IPCConnection::maxRequestLength, 'x');
  (void)pair_.client->write(std::string_view(huge));
  const auto events = recorder_->waitFor(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].kind, Recorder::Event::readError);
  ASSERT_TRUE(events[1].error && std::holds_alternative<platform::Error>(*events[1].error));
  const auto& error = std::get<platform::Error>(*events[1].error);
  EXPECT_EQ(error.domain, IPCConnection::errorDomain);
  EXPECT_EQ(error.code, IPCConnection::requestTooLong);
  EXPECT_EQ(log_.count("Request longer than " + std::to_string(IPCConnection::maxRequestLength) +
                       " bytes, dropping the connection"),
            1u);

  // The client is cut off: its side reads the end of the stream.
  platform::Data data;
  auto read = pair_.client->read(data);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, 0u);
}
