#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "SocketTestSupport.h"
#include "ipc/socket/Socket.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using namespace sockettest;
using platform::Data;

// A UDP socket bound to a port of `host` that the system picks.
Socket::Ptr udpSocket(SocketProtocolFamily family = SocketProtocolFamily::inet,
                      const std::string& host = "127.0.0.1") {
  auto socket = Socket::create(family, SocketType::datagram, SocketProtocol::udp);
  EXPECT_TRUE(socket);
  auto bound = (*socket)->listen(0, 50, host);
  EXPECT_TRUE(bound) << (bound ? "" : bound.error().description());
  return *socket;
}

TEST(DatagramSocketTest, ADatagramComesBackWithItsSendersAddress) {
  auto server = udpSocket();
  auto client = udpSocket();
  EXPECT_TRUE(server->signature()->isBound);
  EXPECT_FALSE(server->isListening());  // a UDP socket is bound, never listening
  EXPECT_FALSE(server->isConnected());

  const auto serverAddress = *server->signature()->address;
  auto sent = client->write(std::string_view("hello"), serverAddress);
  ASSERT_TRUE(sent) << sent.error().description();
  EXPECT_EQ(*sent, 5u);

  Data data = {'>'};
  auto received = server->listenForMessage(data, 9);  // already bound: the port is not used
  ASSERT_TRUE(received) << received.error().description();
  EXPECT_EQ(received->bytesRead, 5u);
  EXPECT_EQ(std::string(data.begin(), data.end()), ">hello");
  EXPECT_TRUE(server->isListening());
  ASSERT_TRUE(received->address.has_value());
  ASSERT_EQ(received->address->kind(), SocketAddress::Kind::ipv4);
  auto sender = Socket::hostnameAndPort(*received->address);
  ASSERT_TRUE(sender.has_value());
  EXPECT_EQ(sender->hostname, "127.0.0.1");
  EXPECT_EQ(sender->port, client->signature()->port);

  ASSERT_TRUE(server->write(std::string_view("back"), *received->address));
  Data reply;
  auto answer = client->readDatagram(reply);
  ASSERT_TRUE(answer);
  EXPECT_EQ(std::string(reply.begin(), reply.end()), "back");
  ASSERT_TRUE(answer->address.has_value());
  EXPECT_EQ(*answer->address, serverAddress);
}

TEST(DatagramSocketTest, AnIPv6DatagramComesBackWithItsSendersAddress) {
  if (!loopbackIPv6Available(SOCK_DGRAM)) GTEST_SKIP() << "no ::1 here";
  auto server = udpSocket(SocketProtocolFamily::inet6, "::1");
  auto client = udpSocket(SocketProtocolFamily::inet6, "::1");
  ASSERT_TRUE(client->write(std::string_view("six"), *server->signature()->address));
  std::uint8_t buffer[16];
  auto received = server->listenForMessage(buffer, sizeof buffer, 0);
  ASSERT_TRUE(received) << received.error().description();
  EXPECT_EQ(received->bytesRead, 3u);
  ASSERT_TRUE(received->address.has_value());
  ASSERT_EQ(received->address->kind(), SocketAddress::Kind::ipv6);
  auto sender = Socket::hostnameAndPort(*received->address);
  ASSERT_TRUE(sender.has_value());
  EXPECT_EQ(sender->hostname, "::1");
  EXPECT_EQ(sender->port, client->signature()->port);
}

TEST(DatagramSocketTest, ShortBuffersTakeTheHeadOfADatagramAndDropTheRest) {
  auto server = udpSocket();
  auto client = udpSocket();
  const auto to = *server->signature()->address;
  ASSERT_TRUE(client->write(pattern(100, 1), to));
  ASSERT_TRUE(client->write(std::string_view("next"), to));

  std::uint8_t buffer[40];
  auto head = server->readDatagram(buffer, sizeof buffer);
  ASSERT_TRUE(head);
  EXPECT_EQ(head->bytesRead, 40u);
  EXPECT_EQ(server->pendingByteCount(), 0u);
  EXPECT_EQ(Socket::hostnameAndPort(*head->address)->port, client->signature()->port);
  const Data expected = pattern(100, 1);
  EXPECT_EQ(std::memcmp(buffer, expected.data(), 40), 0);

  Data next;
  auto following = server->readDatagram(next);
  ASSERT_TRUE(following);
  EXPECT_EQ(std::string(next.begin(), next.end()), "next");
}

TEST(DatagramSocketTest, ADatagramIsCutToTheReadBuffer) {
  auto server = udpSocket();
  auto client = udpSocket();
  ASSERT_TRUE(client->write(pattern(6000, 2), *server->signature()->address));
  ASSERT_TRUE(client->write(pattern(100, 3), *server->signature()->address));
  Data data;
  auto big = server->readDatagram(data);
  ASSERT_TRUE(big);
  EXPECT_EQ(big->bytesRead, 4096u);
  Data whole;
  auto small = server->readDatagram(whole);
  ASSERT_TRUE(small);
  EXPECT_EQ(whole, pattern(100, 3));
}

// An empty datagram marks the peer as gone; a later send says so as an
// error instead of claiming to have sent nothing.
TEST(DatagramSocketTest, AfterAnEmptyDatagramSendsFailWithAnError) {
  auto server = udpSocket();
  auto client = udpSocket();
  ASSERT_GE(::sendto(client->socketfd(), "", 0, 0, server->signature()->address->platformAddress(),
                     server->signature()->address->size()),
            0);
  Data data;
  auto empty = server->readDatagram(data);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->bytesRead, 0u);
  EXPECT_FALSE(empty->address.has_value());
  EXPECT_TRUE(server->remoteConnectionClosed());

  auto sent = server->write(std::string_view("anyone?"), *client->signature()->address);
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().errorCode, Socket::SOCKET_ERR_NOT_CONNECTED);
  EXPECT_TRUE(sent.error().errorReason.has_value());
}

TEST(DatagramSocketTest, StreamSocketsAreNotDatagramSockets) {
  auto stream = Socket::create();
  ASSERT_TRUE(stream);
  auto& socket = **stream;
  std::uint8_t buffer[8];
  Data data;
  const auto to = *Socket::createAddress("127.0.0.1", 9);
  const std::vector<SocketError> errors = {
      socket.readDatagram(buffer, sizeof buffer).error(),
      socket.readDatagram(data).error(),
      socket.write(std::string_view("x"), to).error(),
      socket.udpBroadcast(true).error(),
      socket.listenForMessage(buffer, sizeof buffer, 0).error(),
      socket.listenForMessage(data, 0).error(),
  };
  for (const auto& error : errors) {
    EXPECT_EQ(error.errorCode, Socket::SOCKET_ERR_WRONG_PROTOCOL);
    EXPECT_EQ(error.errorReason, "This is not a UDP socket.");
  }
}

TEST(DatagramSocketTest, ZeroSizedBuffersAreRefusedFirst) {
  auto socket = udpSocket();
  socket->close();
  std::uint8_t buffer[1];
  EXPECT_EQ(socket->listenForMessage(buffer, 0, 0).error().errorCode, Socket::SOCKET_ERR_INVALID_BUFFER);
  EXPECT_EQ(socket->readDatagram(buffer, 0).error().errorCode, Socket::SOCKET_ERR_INVALID_BUFFER);
  const auto to = *Socket::createAddress("127.0.0.1", 9);
  EXPECT_EQ(socket->write(Data{}, to).error().errorCode, Socket::SOCKET_ERR_INVALID_BUFFER);
  EXPECT_EQ(socket->write(std::string_view("x"), to).error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
  Data data;
  EXPECT_EQ(socket->readDatagram(data).error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
}

TEST(DatagramSocketTest, AfterTheFirstCallTheServerStaysOnItsPort) {
  auto client = udpSocket();
  auto server = Socket::create(SocketProtocolFamily::inet, SocketType::datagram, SocketProtocol::udp);
  ASSERT_TRUE(server);
  // Bound to 127.0.0.1 first so that the wildcard bind of the first call
  // never happens; the port of a later call is not used.
  ASSERT_TRUE((*server)->listen(0, 50, std::string("127.0.0.1")));
  const int port = (*server)->signature()->port;
  ASSERT_TRUE(client->write(std::string_view("one"), *(*server)->signature()->address));
  Data data;
  ASSERT_TRUE((*server)->listenForMessage(data, port + 1));
  ASSERT_TRUE(client->write(std::string_view("two"), *(*server)->signature()->address));
  ASSERT_TRUE((*server)->listenForMessage(data, port + 2));
  EXPECT_EQ(std::string(data.begin(), data.end()), "onetwo");
  EXPECT_EQ((*server)->signature()->port, port);
}

TEST(DatagramSocketTest, BroadcastCanBeSwitchedOnAndOff) {
  auto socket = udpSocket();
  int value = -1;
  socklen_t length = sizeof value;
  ASSERT_TRUE(socket->udpBroadcast(true));
  ASSERT_EQ(::getsockopt(socket->socketfd(), SOL_SOCKET, SO_BROADCAST, &value, &length), 0);
  EXPECT_EQ(value, 1);
  ASSERT_TRUE(socket->udpBroadcast(false));
  ASSERT_EQ(::getsockopt(socket->socketfd(), SOL_SOCKET, SO_BROADCAST, &value, &length), 0);
  EXPECT_EQ(value, 0);
}

TEST(DatagramSocketTest, UnixDomainDatagramSockets) {
  test::TempRoot root;
  auto socket = Socket::create(SocketProtocolFamily::unix, SocketType::datagram, SocketProtocol::unix);
  ASSERT_TRUE(socket);
  // Only UDP sockets may wait for messages into a data object; the buffer
  // form tries to bind the port, which a Unix-domain socket cannot.
  Data data;
  auto refused = (*socket)->listenForMessage(data, 0);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().errorCode, Socket::SOCKET_ERR_WRONG_PROTOCOL);
  EXPECT_EQ(refused.error().errorReason, "This is not a UDP socket.");
  std::uint8_t buffer[8];
  auto bindFailure = (*socket)->listenForMessage(buffer, sizeof buffer, 0);
  ASSERT_FALSE(bindFailure);
  EXPECT_EQ(bindFailure.error().errorCode, Socket::SOCKET_ERR_GETADDRINFO_FAILED);

  // A datagram from a Unix-domain sender has no network address: the read
  // fails and keeps the bytes, which the next read hands out by themselves,
  // never joined to the datagram that came after them.
  const std::string path = root.path() + "/dgram.sock";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind((*socket)->socketfd(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const int sender = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(::sendto(sender, "first", 5, 0, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  auto unknown = (*socket)->readDatagram(data);
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().errorCode, Socket::SOCKET_ERR_WRONG_PROTOCOL);
  EXPECT_EQ(unknown.error().errorReason, "Unable to determine receiving socket protocol family.");
  EXPECT_EQ((*socket)->pendingByteCount(), 5u);

  ASSERT_GE(::sendto(sender, "second", 6, 0, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  auto held = (*socket)->readDatagram(data);
  ASSERT_TRUE(held);
  EXPECT_EQ(held->bytesRead, 5u);
  EXPECT_FALSE(held->address.has_value());
  EXPECT_EQ(std::string(data.begin(), data.end()), "first");
  auto next = (*socket)->readDatagram(buffer, sizeof buffer);
  ASSERT_FALSE(next);
  EXPECT_EQ((*socket)->pendingByteCount(), 6u);
  ::close(sender);
}

}  // namespace
}  // namespace vozi
