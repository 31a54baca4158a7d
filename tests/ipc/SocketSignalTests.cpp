// A signal that lands while a socket call waits must not fail the call: the
// daemon's threads get signals (a debugger, a profiler, the shutdown path)
// and a client connection must not break because of one.

#include <gtest/gtest.h>
#include <sys/syscall.h>

#include <atomic>
#include <future>
#include <thread>

#include "SocketTestSupport.h"
#include "ipc/socket/Socket.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using namespace sockettest;
using platform::Data;

#ifdef SYS_poll
#define VOZI_POLL_CALLS SYS_poll, SYS_ppoll
#else
#define VOZI_POLL_CALLS SYS_ppoll
#endif

// Runs one blocking call on a thread of its own.
template <class R>
class BlockedCall {
 public:
  template <class F>
  explicit BlockedCall(F call)
      : thread_([this, call] {
          tid_ = currentThreadId();
          promise_.set_value(call());
        }) {
    while (tid_.load() == 0) std::this_thread::yield();
  }
  ~BlockedCall() {
    if (thread_.joinable()) thread_.join();
  }

  void interrupt(Interrupter& interrupter, std::initializer_list<long> syscalls) {
    interrupter.interruptWhenBlocked(thread_, tid_.load(), syscalls);
  }
  R result() {
    thread_.join();
    return future_.get();
  }

 private:
  std::promise<R> promise_;
  std::future<R> future_ = promise_.get_future();
  std::atomic<pid_t> tid_{0};
  std::thread thread_;
};

class SignalTest : public ::testing::Test {
 protected:
  std::string socketPath() const { return root_.path() + "/s.sock"; }
  test::TempRoot root_;
  Interrupter interrupter_;
};

TEST_F(SignalTest, ABlockedReadGoesOnAfterASignal) {
  auto c = connectUnix(socketPath());
  BlockedCall<std::pair<Socket::Result<std::size_t>, Data>> reader([&] {
    Data data;
    auto count = c.server->read(data);
    return std::make_pair(count, data);
  });
  reader.interrupt(interrupter_, {SYS_recvfrom});
  ASSERT_TRUE(c.client->write(std::string_view("after the signal")));
  auto [count, data] = reader.result();
  ASSERT_TRUE(count) << count.error().description();
  EXPECT_EQ(std::string(data.begin(), data.end()), "after the signal");
}

TEST_F(SignalTest, ABlockedWriteGoesOnAfterSignals) {
  auto c = connectUnix(socketPath());
  // Should the write stop early, the reading side gives up instead of
  // waiting for bytes that never come.
  ASSERT_TRUE(c.client->setReadTimeout(10000));
  const Data big = pattern(4 << 20, 6);
  BlockedCall<Socket::Result<std::size_t>> writer([&] { return c.server->write(big); });
  // The first signal may cut a send short after some bytes; the second lands
  // on a send that has moved nothing yet.
  writer.interrupt(interrupter_, {SYS_sendto});
  writer.interrupt(interrupter_, {SYS_sendto});
  const Data received = readExactly(*c.client, big.size());
  auto written = writer.result();
  ASSERT_TRUE(written) << written.error().description();
  EXPECT_EQ(*written, big.size());
  EXPECT_EQ(received, big);
}

TEST_F(SignalTest, ABlockedAcceptGoesOnAfterASignal) {
  auto listener = unixListener(socketPath());
  BlockedCall<Socket::Result<Socket::Ptr>> acceptor([&] { return listener->acceptClientConnection(); });
  acceptor.interrupt(interrupter_, {SYS_accept4, SYS_accept});
  auto client = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->connect(socketPath()));
  auto accepted = acceptor.result();
  ASSERT_TRUE(accepted) << accepted.error().description();
  EXPECT_TRUE((*accepted)->isConnected());
}

TEST_F(SignalTest, WaitingForSocketsGoesOnAfterASignal) {
  auto listener = unixListener(socketPath());
  BlockedCall<Socket::Result<std::optional<std::vector<Socket::Ptr>>>> waiter(
      [&] { return Socket::wait({listener}, 0, true); });
  waiter.interrupt(interrupter_, {VOZI_POLL_CALLS});
  auto client = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->connect(socketPath()));
  auto ready = waiter.result();
  ASSERT_TRUE(ready) << ready.error().description();
  ASSERT_TRUE(ready->has_value());
  EXPECT_EQ((*ready)->size(), 1u);
}

TEST_F(SignalTest, AReadinessWaitGoesOnAfterASignal) {
  auto c = connectUnix(socketPath());
  // Fill the send queue so that the socket is neither readable nor writable.
  ASSERT_TRUE(c.server->setBlocking(false));
  std::size_t queued = 0;
  for (;;) {
    auto written = c.server->write(pattern(1 << 16, 1));
    ASSERT_TRUE(written);
    queued += *written;
    if (*written < (1u << 16)) break;
  }
  ASSERT_TRUE(c.server->setBlocking(true));
  BlockedCall<Socket::Result<Socket::Readiness>> waiter([&] { return c.server->isReadableOrWritable(true); });
  waiter.interrupt(interrupter_, {VOZI_POLL_CALLS});
  EXPECT_EQ(readExactly(*c.client, queued).size(), queued);
  auto readiness = waiter.result();
  ASSERT_TRUE(readiness) << readiness.error().description();
  EXPECT_TRUE(readiness->writable);
}

TEST_F(SignalTest, ABlockedDatagramReadGoesOnAfterASignal) {
  auto server = Socket::create(SocketProtocolFamily::inet, SocketType::datagram, SocketProtocol::udp);
  ASSERT_TRUE(server);
  ASSERT_TRUE((*server)->listen(0, 50, std::string("127.0.0.1")));
  auto client = Socket::create(SocketProtocolFamily::inet, SocketType::datagram, SocketProtocol::udp);
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->listen(0, 50, std::string("127.0.0.1")));
  BlockedCall<std::pair<Socket::Result<Socket::DatagramResult>, Data>> reader([&] {
    Data data;
    auto received = (*server)->readDatagram(data);
    return std::make_pair(received, data);
  });
  reader.interrupt(interrupter_, {SYS_recvfrom});
  ASSERT_TRUE((*client)->write(std::string_view("late"), *(*server)->signature()->address));
  auto [received, data] = reader.result();
  ASSERT_TRUE(received) << received.error().description();
  EXPECT_EQ(std::string(data.begin(), data.end()), "late");
}

// A blocking connect toward a listener whose queue is full waits in the
// system; a signal there must not end the attempt. Once the queue has room
// the handshake (retried by the system) completes.
TEST_F(SignalTest, ABlockingConnectGoesOnAfterASignal) {
  auto listener = tcpListener(0);
  auto filler = Socket::create();
  ASSERT_TRUE(filler);
  ASSERT_TRUE((*filler)->connect("127.0.0.1", listener->listeningPort()));
  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  BlockedCall<Socket::Result<void>> connector(
      [&] { return (*socket)->connect("127.0.0.1", listener->listeningPort()); });
  connector.interrupt(interrupter_, {SYS_connect});
  auto first = listener->acceptClientConnection();  // makes room
  ASSERT_TRUE(first);
  auto connected = connector.result();
  ASSERT_TRUE(connected) << connected.error().description();
  EXPECT_TRUE((*socket)->isConnected());
  auto second = listener->acceptClientConnection();
  ASSERT_TRUE(second);
}

TEST_F(SignalTest, ATimedConnectStillEndsInItsTimeOutAfterASignal) {
  auto listener = tcpListener(0);
  auto filler = Socket::create();
  ASSERT_TRUE(filler);
  ASSERT_TRUE((*filler)->connect("127.0.0.1", listener->listeningPort()));
  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  BlockedCall<Socket::Result<void>> connector(
      [&] { return (*socket)->connect("127.0.0.1", listener->listeningPort(), 1000); });
  connector.interrupt(interrupter_, {VOZI_POLL_CALLS});
  auto connected = connector.result();
  ASSERT_FALSE(connected);
  EXPECT_EQ(connected.error().errorCode, Socket::SOCKET_ERR_CONNECT_TIMEOUT) << connected.error().description();
}

}  // namespace
}  // namespace vozi
