#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "SocketTestSupport.h"
#include "ipc/socket/Socket.h"

namespace vozi {
namespace {

using namespace sockettest;
using platform::Data;

int localPort(int fd) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length), 0);
  if (storage.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
}

TEST(TcpSocketTest, PortZeroListenerReportsThePortItGot) {
  auto listener = tcpListener();
  ASSERT_TRUE(listener->isListening());
  const int port = localPort(listener->socketfd());
  EXPECT_GT(port, 0);
  EXPECT_EQ(listener->listeningPort(), port);
  EXPECT_EQ(listener->signature()->port, port);
  EXPECT_EQ(listener->remoteHostname(), "127.0.0.1");
  EXPECT_TRUE(listener->signature()->isBound);
  EXPECT_FALSE(listener->isSecure());
  ASSERT_TRUE(listener->signature()->address.has_value());
  EXPECT_EQ(listener->signature()->address->kind(), SocketAddress::Kind::ipv4);
  EXPECT_TRUE(listener->isServer());
  EXPECT_TRUE(listener->isActive());
}

TEST(TcpSocketTest, BothEndsKnowTheirPeersHostAndPort) {
  auto c = connectTcp();
  ASSERT_TRUE(c.server && c.client);
  EXPECT_EQ(c.server->remoteHostname(), "127.0.0.1");
  EXPECT_EQ(c.server->remotePort(), localPort(c.client->socketfd()));
  EXPECT_EQ(c.server->signature()->proto, SocketProtocol::tcp);
  EXPECT_FALSE(c.server->remotePath().has_value());
  EXPECT_EQ(c.client->remoteHostname(), "127.0.0.1");
  EXPECT_EQ(c.client->remotePort(), c.listener->listeningPort());
  EXPECT_EQ(c.client->signature()->protocolFamily, SocketProtocolFamily::inet);
  EXPECT_EQ(c.client->signature()->proto, SocketProtocol::tcp);
  EXPECT_TRUE(c.client->isConnected());
  EXPECT_EQ(c.client->listeningPort(), -1);
  EXPECT_TRUE(::fcntl(c.client->socketfd(), F_GETFD) & FD_CLOEXEC);
  EXPECT_TRUE(::fcntl(c.server->socketfd(), F_GETFD) & FD_CLOEXEC);

  ASSERT_TRUE(c.client->write(std::string_view("ping")));
  auto text = c.server->readString();
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "ping");
}

// A listener whose queue of finished connections is full drops new
// handshakes, so a connect toward it never completes.
struct SilentListener {
  SilentListener() : listener(tcpListener(0)) {
    auto one = Socket::create();
    EXPECT_TRUE(one);
    filler = *one;
    EXPECT_TRUE(filler->connect("127.0.0.1", listener->listeningPort()));
  }
  Socket::Ptr listener;
  Socket::Ptr filler;
};

TEST(TcpSocketTest, ConnectWithATimeOutToAListenerThatNeverAnswersTimesOutAndLeaksNothing) {
  SilentListener silent;
  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  const int originalDescriptor = (*socket)->socketfd();
  const auto descriptorsBefore = openDescriptorCount();

  const auto start = std::chrono::steady_clock::now();
  auto connected = (*socket)->connect("127.0.0.1", silent.listener->listeningPort(), 200);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_FALSE(connected);
  EXPECT_EQ(connected.error().errorCode, Socket::SOCKET_ERR_CONNECT_TIMEOUT) << connected.error().description();
  EXPECT_TRUE(connected.error().errorReason.has_value());
  EXPECT_LT(elapsed, std::chrono::seconds(30));
  // The descriptor opened for the attempt is closed again; the socket keeps its own.
  EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
  EXPECT_EQ((*socket)->socketfd(), originalDescriptor);
  EXPECT_FALSE((*socket)->isConnected());
}

TEST(TcpSocketTest, ConnectRejectsBadPortsAndHostsBeforeOpeningAnything) {
  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  const auto before = openDescriptorCount();
  for (int port : {0, 65536, -1}) {
    SCOPED_TRACE(port);
    auto connected = (*socket)->connect("127.0.0.1", port);
    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error().errorCode, Socket::SOCKET_ERR_INVALID_PORT);
    EXPECT_EQ(connected.error().errorReason, "The port specified is invalid. Must be in the range of 1-65535.");
  }
  auto empty = (*socket)->connect(std::string(), 80);
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.error().errorCode, Socket::SOCKET_ERR_INVALID_HOSTNAME);
  EXPECT_FALSE(empty.error().errorReason.has_value());
  EXPECT_EQ(openDescriptorCount(), before);
}

TEST(TcpSocketTest, ARefusedConnectReportsTheSystemTextAndClosesItsDescriptor) {
  // A bound socket that does not listen: its port refuses connections and
  // no one else can take it meanwhile.
  const int tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const int port = localPort(tcp);

  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  const auto before = openDescriptorCount();
  for (std::uint32_t timeout : {0u, 2000u}) {
    SCOPED_TRACE(timeout);
    auto connected = (*socket)->connect("127.0.0.1", port, timeout);
    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error().errorCode, Socket::SOCKET_ERR_GETADDRINFO_FAILED);
    EXPECT_EQ(connected.error().errorReason, std::string(std::strerror(ECONNREFUSED)));
    EXPECT_EQ(openDescriptorCount(), before);
  }
  ::close(tcp);
}

TEST(TcpSocketTest, ConnectWithATimeOutLeavesABlockingConnection) {
  auto listener = tcpListener();
  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  auto connected = (*socket)->connect("127.0.0.1", listener->listeningPort(), 5000);
  ASSERT_TRUE(connected) << connected.error().description();
  EXPECT_TRUE((*socket)->isBlocking());
  EXPECT_EQ(::fcntl((*socket)->socketfd(), F_GETFL) & O_NONBLOCK, 0);

  auto again = (*socket)->connect("127.0.0.1", listener->listeningPort());
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().errorCode, Socket::SOCKET_ERR_ALREADY_CONNECTED);
}

// A non-blocking socket without a time-out still connects: the connect
// waits for the handshake instead of giving up on it.
TEST(TcpSocketTest, ANonBlockingSocketConnectsAndStaysNonBlocking) {
  auto listener = tcpListener();
  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  ASSERT_TRUE((*socket)->setBlocking(false));
  auto connected = (*socket)->connect("127.0.0.1", listener->listeningPort());
  ASSERT_TRUE(connected) << connected.error().description();
  EXPECT_TRUE((*socket)->isConnected());
  EXPECT_NE(::fcntl((*socket)->socketfd(), F_GETFL) & O_NONBLOCK, 0);
}

TEST(TcpSocketTest, ConnectingBySignatureUsesHostAndPortOrTheAddress) {
  auto listener = tcpListener();
  const int port = listener->listeningPort();

  auto byHost = SocketSignature::create(SocketProtocolFamily::inet, SocketType::stream, SocketProtocol::tcp,
                                        std::string("127.0.0.1"), port);
  ASSERT_TRUE(byHost);
  auto first = Socket::createConnected(*byHost);
  ASSERT_TRUE(first) << first.error().description();
  EXPECT_EQ((*first)->remotePort(), port);

  auto address = Socket::createAddress("127.0.0.1", port);
  ASSERT_TRUE(address.has_value());
  SocketSignature byAddress;
  byAddress.hostname.reset();
  byAddress.address = address;
  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  auto second = (*socket)->connect(byAddress);
  ASSERT_TRUE(second) << second.error().description();
  EXPECT_TRUE((*socket)->isConnected());
  EXPECT_EQ((*socket)->remoteHostname(), "127.0.0.1");
  EXPECT_EQ((*socket)->remotePort(), port);
  EXPECT_TRUE(listener->acceptClientConnection());
  EXPECT_TRUE(listener->acceptClientConnection());
}

TEST(TcpSocketTest, AcceptingChecksTheSocketsState) {
  auto c = connectTcp();
  auto connected = c.client->acceptClientConnection();
  ASSERT_FALSE(connected);
  EXPECT_EQ(connected.error().errorCode, Socket::SOCKET_ERR_ALREADY_CONNECTED);

  auto fresh = Socket::create();
  ASSERT_TRUE(fresh);
  EXPECT_EQ((*fresh)->acceptClientConnection().error().errorCode, Socket::SOCKET_ERR_NOT_LISTENING);
  EXPECT_EQ((*fresh)->acceptConnection().error().errorCode, Socket::SOCKET_ERR_NOT_LISTENING);
  (*fresh)->close();
  EXPECT_EQ((*fresh)->acceptClientConnection().error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
  EXPECT_EQ((*fresh)->listen(0).error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
}

TEST(TcpSocketTest, ListeningTwiceFailsInTheBind) {
  auto listener = tcpListener(200);
  auto again = listener->listen(0, 50, std::string("127.0.0.1"));
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().errorCode, Socket::SOCKET_ERR_BIND_FAILED);
  EXPECT_EQ(again.error().errorReason, std::string(std::strerror(EINVAL)));
}

TEST(TcpSocketTest, AResolverFailureCarriesTheResolversText) {
  auto socket = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(socket);
  auto listening = (*socket)->listen(0);
  ASSERT_FALSE(listening);
  EXPECT_EQ(listening.error().errorCode, Socket::SOCKET_ERR_GETADDRINFO_FAILED);
  EXPECT_EQ(listening.error().errorReason, std::string(::gai_strerror(EAI_FAMILY)));
}

TEST(TcpSocketTest, AnIPv6ListenerTakesIPv6ClientsOnly) {
  if (!loopbackIPv6Available(SOCK_STREAM)) GTEST_SKIP() << "no ::1 here";
  auto listener = Socket::create(SocketProtocolFamily::inet6, SocketType::stream, SocketProtocol::tcp);
  ASSERT_TRUE(listener);
  auto listening = (*listener)->listen(0, 50, std::string("::1"));
  ASSERT_TRUE(listening) << listening.error().description();
  int v6only = 0;
  socklen_t length = sizeof v6only;
  ASSERT_EQ(::getsockopt((*listener)->socketfd(), IPPROTO_IPV6, IPV6_V6ONLY, &v6only, &length), 0);
  EXPECT_EQ(v6only, 1);
  EXPECT_EQ((*listener)->remoteHostname(), "::1");

  auto client = Socket::create(SocketProtocolFamily::inet6, SocketType::stream, SocketProtocol::tcp);
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->connect("::1", (*listener)->listeningPort()));
  EXPECT_EQ((*client)->signature()->protocolFamily, SocketProtocolFamily::inet6);
  auto accepted = (*listener)->acceptClientConnection();
  ASSERT_TRUE(accepted) << accepted.error().description();
  EXPECT_EQ((*accepted)->remoteHostname(), "::1");
  EXPECT_EQ((*accepted)->signature()->protocolFamily, SocketProtocolFamily::inet6);
  EXPECT_EQ((*accepted)->remotePort(), localPort((*client)->socketfd()));
}

TEST(TcpSocketTest, AcceptConnectionTurnsTheListenerIntoTheConnection) {
  auto listener = tcpListener();
  auto client = Socket::create();
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->connect("127.0.0.1", listener->listeningPort()));
  auto accepted = listener->acceptConnection();
  ASSERT_TRUE(accepted) << accepted.error().description();
  EXPECT_TRUE(listener->isConnected());
  EXPECT_FALSE(listener->isListening());
  EXPECT_EQ(listener->remoteHostname(), "127.0.0.1");
  EXPECT_EQ(listener->remotePort(), localPort((*client)->socketfd()));
  ASSERT_TRUE((*client)->write(std::string_view("hello")));
  auto text = listener->readString();
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "hello");
}

// --- The secure-layer hooks ------------------------------------------------

// A secure layer that sends and receives in the clear, asking once for a
// retry on each side, and records what it was asked.
class RecordingDelegate : public SSLServiceDelegate {
 public:
  SocketResult<void, SSLError> setUp(bool asServer) override {
    setUps.push_back(asServer);
    return {};
  }
  void tearDown() override { ++tearDowns; }
  SocketResult<void, SSLError> didAccept(Socket& socket) override {
    ++accepts;
    if (acceptFailure) return *acceptFailure;
    (void)socket;
    return {};
  }
  SocketResult<void, SSLError> didConnect(Socket& socket) override {
    ++connects;
    fd = socket.socketfd();
    return {};
  }
  SocketResult<long, SSLError> secureSend(const std::uint8_t* buffer, std::size_t size) override {
    if (!sendRetried) {
      sendRetried = true;
      return SSLError::retryNeeded();
    }
    return static_cast<long>(::send(fd, buffer, size, MSG_NOSIGNAL));
  }
  SocketResult<long, SSLError> secureReceive(std::uint8_t* buffer, std::size_t size) override {
    if (!receiveRetried) {
      receiveRetried = true;
      return SSLError::success();  // call again at once
    }
    return static_cast<long>(::recv(fd, buffer, size, 0));
  }

  std::vector<bool> setUps;
  int tearDowns = 0;
  int accepts = 0;
  int connects = 0;
  int fd = -1;
  bool sendRetried = false;
  bool receiveRetried = false;
  std::optional<SSLError> acceptFailure;
};

TEST(TcpSocketTest, AListenerWithASecureLayerRunsItsAcceptHookOnce) {
  auto delegate = std::make_shared<RecordingDelegate>();
  auto listener = Socket::create();
  ASSERT_TRUE(listener);
  (*listener)->setDelegate(delegate);
  EXPECT_EQ((*listener)->readBufferSize(), 32768);
  ASSERT_TRUE((*listener)->listen(0, 50, std::string("127.0.0.1")));
  EXPECT_EQ(delegate->setUps, std::vector<bool>{true});
  EXPECT_TRUE((*listener)->isSecure());

  auto client = Socket::create();
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->connect("127.0.0.1", (*listener)->listeningPort()));
  auto accepted = (*listener)->acceptClientConnection(false);
  ASSERT_TRUE(accepted);
  EXPECT_TRUE((*accepted)->needsAcceptDelegateCall());
  EXPECT_EQ(delegate->accepts, 0);
  ASSERT_TRUE((*listener)->invokeDelegateOnAccept(**accepted));
  EXPECT_EQ(delegate->accepts, 1);
  EXPECT_TRUE((*accepted)->isSecure());
  EXPECT_FALSE((*accepted)->needsAcceptDelegateCall());
  EXPECT_EQ((*listener)->invokeDelegateOnAccept(**accepted).error().errorCode,
            Socket::SOCKET_ERR_INVALID_DELEGATE_CALL);

  // A hook that fails makes the accept fail with its code and text.
  delegate->acceptFailure = SSLError::fail(77, "no certificate");
  auto second = Socket::create();
  ASSERT_TRUE(second);
  ASSERT_TRUE((*second)->connect("127.0.0.1", (*listener)->listeningPort()));
  auto refused = (*listener)->acceptClientConnection(true);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().errorCode, 77);
  EXPECT_EQ(refused.error().errorReason, "no certificate");

  (*listener)->setDelegate(nullptr);
  EXPECT_EQ((*listener)->readBufferSize(), 32768);
  (*listener)->close();
  EXPECT_EQ(delegate->tearDowns, 0);  // the delegate was gone by then
}

TEST(TcpSocketTest, WithoutASecureLayerThereIsNoAcceptHookToRun) {
  auto c = connectTcp();
  EXPECT_FALSE(c.server->needsAcceptDelegateCall());
  EXPECT_EQ(c.listener->invokeDelegateOnAccept(*c.server).error().errorCode,
            Socket::SOCKET_ERR_INVALID_DELEGATE_CALL);
}

TEST(TcpSocketTest, AClientWithASecureLayerSendsAndReceivesThroughIt) {
  auto listener = tcpListener();
  auto delegate = std::make_shared<RecordingDelegate>();
  auto client = Socket::create();
  ASSERT_TRUE(client);
  (*client)->setDelegate(delegate);
  ASSERT_TRUE((*client)->connect("127.0.0.1", listener->listeningPort()));
  EXPECT_EQ(delegate->setUps, std::vector<bool>{false});
  EXPECT_EQ(delegate->connects, 1);
  EXPECT_TRUE((*client)->isSecure());
  auto server = listener->acceptClientConnection();
  ASSERT_TRUE(server);

  auto written = (*client)->write(std::string_view("through the layer"));
  ASSERT_TRUE(written) << written.error().description();
  EXPECT_TRUE(delegate->sendRetried);
  EXPECT_EQ(*(*server)->readString(), "through the layer");

  ASSERT_TRUE((*server)->write(std::string_view("and back")));
  auto text = (*client)->readString();
  ASSERT_TRUE(text) << text.error().description();
  EXPECT_EQ(*text, "and back");
  EXPECT_TRUE(delegate->receiveRetried);

  (*client)->close();
  EXPECT_EQ(delegate->tearDowns, 1);
}

}  // namespace
}  // namespace vozi
