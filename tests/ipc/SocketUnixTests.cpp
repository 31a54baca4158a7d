#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "SocketTestSupport.h"
#include "ipc/socket/Socket.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using namespace sockettest;
using platform::Data;
namespace fs = std::filesystem;

class UnixSocketTest : public ::testing::Test {
 protected:
  std::string socketPath(const std::string& name = "d.sock") const { return root_.path() + "/" + name; }
  test::TempRoot root_;
};

bool isSocket(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

TEST_F(UnixSocketTest, RoundTripsOneMebibyteInBothDirections) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.server && c.client);
  const Data up = pattern(1 << 20, 1);
  const Data down = pattern(1 << 20, 7);

  auto clientSide = std::async(std::launch::async, [&] {
    auto written = c.client->write(up);
    EXPECT_TRUE(written) << (written ? "" : written.error().description());
    if (written) {
      EXPECT_EQ(*written, up.size());
    }
    return readExactly(*c.client, down.size());
  });
  const Data received = readExactly(*c.server, up.size());
  auto written = c.server->write(down);
  ASSERT_TRUE(written) << written.error().description();
  EXPECT_EQ(*written, down.size());
  EXPECT_EQ(received, up);
  EXPECT_EQ(clientSide.get(), down);
}

TEST_F(UnixSocketTest, ClientClosingMidWriteFailsTheWriteWithoutASignal) {
  // A peer that goes away must not kill the process: the default action of
  // SIGPIPE is in force during this test.
  auto previous = ::signal(SIGPIPE, SIG_DFL);
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.server && c.client);

  auto clientSide = std::async(std::launch::async, [&] {
    Data first;
    auto count = c.client->read(first);  // the server's write is under way
    EXPECT_TRUE(count && *count > 0);
    c.client->close();
  });
  // The writes go on until the close is felt: the first one fills the
  // client's queue and is still under way when the client closes.
  const Data chunk = pattern(4 << 20, 3);
  std::optional<SocketError> failed;
  for (int i = 0; i < 256 && !failed; ++i) {
    auto written = c.server->write(chunk);
    if (!written) failed = written.error();
  }
  clientSide.get();
  ASSERT_TRUE(failed.has_value());
  EXPECT_TRUE(failed->errorCode == Socket::SOCKET_ERR_WRITE_FAILED ||
              failed->errorCode == Socket::SOCKET_ERR_CONNECTION_RESET)
      << failed->description();
  EXPECT_TRUE(failed->errorReason.has_value());

  auto again = c.server->write(std::string_view("more"));
  ASSERT_FALSE(again);
  EXPECT_TRUE(again.error().errorCode == Socket::SOCKET_ERR_WRITE_FAILED ||
              again.error().errorCode == Socket::SOCKET_ERR_CONNECTION_RESET);
  ::signal(SIGPIPE, previous);
}

TEST_F(UnixSocketTest, ClosingTheListenerRemovesTheSocketFileButClosingAClientDoesNot) {
  const std::string path = socketPath();
  auto c = connectUnix(path);
  ASSERT_TRUE(c.server);
  ASSERT_TRUE(isSocket(path));
  EXPECT_EQ(c.listener->remotePath(), path);
  EXPECT_EQ(c.server->remotePath(), path);  // an accepted socket carries the listener's path

  c.server->close();
  EXPECT_TRUE(isSocket(path));
  c.listener->close();
  EXPECT_FALSE(fs::exists(fs::symlink_status(path)));

  EXPECT_EQ(c.listener->socketfd(), -1);
  EXPECT_FALSE(c.listener->isListening());
  EXPECT_FALSE(c.listener->isConnected());
  EXPECT_EQ(c.listener->remoteHostname(), "No hostname");
  EXPECT_EQ(c.listener->remotePort(), 0);
  EXPECT_FALSE(c.listener->remotePath().has_value());
  EXPECT_FALSE(c.listener->isSecure());
  c.listener->close();  // a second close changes nothing
  EXPECT_EQ(c.listener->socketfd(), -1);
}

TEST_F(UnixSocketTest, ReleasingTheListenerRemovesTheSocketFile) {
  const std::string path = socketPath();
  { auto listener = unixListener(path); }
  EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

TEST_F(UnixSocketTest, ASecondListenerTakesThePathOverAndKeepsItWhenTheFirstCloses) {
  const std::string path = socketPath();
  auto first = unixListener(path);
  auto second = unixListener(path);
  ASSERT_TRUE(first->isListening());
  ASSERT_TRUE(second->isListening());
  first->close();
  // The file at the path is the second listener's: it stays, and clients reach it.
  ASSERT_TRUE(isSocket(path));
  auto client = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->connect(path));
  auto accepted = second->acceptClientConnection();
  ASSERT_TRUE(accepted);
  second->close();
  EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

TEST_F(UnixSocketTest, ListeningNeverRemovesAFileThatIsNotASocket) {
  const std::string path = socketPath("notes.txt");
  { std::ofstream(path) << "keep me"; }
  auto socket = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(socket);
  auto listening = (*socket)->listen(path, 50);
  ASSERT_FALSE(listening);
  EXPECT_EQ(listening.error().errorCode, Socket::SOCKET_ERR_LISTEN_FAILED);
  EXPECT_FALSE((*socket)->isListening());
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");
}

TEST_F(UnixSocketTest, ListeningRefusesBadPathsAndWrongFamilies) {
  auto socket = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(socket);
  const auto signatureBefore = (*socket)->signature()->description();

  std::string tooLong = root_.path() + "/";
  tooLong += std::string(104 - tooLong.size(), 'x');
  ASSERT_EQ(tooLong.size(), 104u);
  auto longResult = (*socket)->listen(tooLong, 50);
  ASSERT_FALSE(longResult);
  EXPECT_EQ(longResult.error().errorCode, Socket::SOCKET_ERR_BAD_SIGNATURE_PARAMETERS);
  EXPECT_EQ(longResult.error().errorReason, "Pathname supplied is too long.");
  EXPECT_FALSE((*socket)->isListening());
  EXPECT_EQ((*socket)->signature()->description(), signatureBefore);

  auto empty = (*socket)->listen(std::string(), 50);
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.error().errorReason, "Missing pathname.");

  // 103 bytes is the longest path, and a large backlog is passed on as it is.
  std::string longest = tooLong.substr(0, 103);
  auto ok = (*socket)->listen(longest, 1000);
  EXPECT_TRUE(ok) << (ok ? "" : ok.error().description());
  EXPECT_TRUE(isSocket(longest));

  auto inet = Socket::create(SocketProtocolFamily::inet, SocketType::stream, SocketProtocol::tcp);
  ASSERT_TRUE(inet);
  auto wrong = (*inet)->listen(socketPath("inet.sock"), 50);
  ASSERT_FALSE(wrong);
  EXPECT_EQ(wrong.error().errorCode, Socket::SOCKET_ERR_WRONG_PROTOCOL);
}

TEST_F(UnixSocketTest, CreationChecksKindsAndAdoption) {
  auto unixTcp = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::tcp);
  ASSERT_TRUE(unixTcp);
  const auto& signature = *(*unixTcp)->signature();
  EXPECT_EQ(signature.protocolFamily, SocketProtocolFamily::unix);
  EXPECT_EQ(signature.socketType, SocketType::stream);
  EXPECT_EQ(signature.proto, SocketProtocol::unix);
  EXPECT_GE((*unixTcp)->socketfd(), 0);
  EXPECT_FALSE((*unixTcp)->isConnected());
  EXPECT_FALSE((*unixTcp)->isListening());
  EXPECT_TRUE((*unixTcp)->isBlocking());
  EXPECT_EQ((*unixTcp)->readBufferSize(), 4096);
  EXPECT_EQ((*unixTcp)->maxBacklogSize(), 50);
  // Descriptors do not leak into child processes.
  EXPECT_TRUE(::fcntl((*unixTcp)->socketfd(), F_GETFD) & FD_CLOEXEC);

  const auto before = openDescriptorCount();
  auto bad = Socket::create(SocketProtocolFamily::inet, SocketType::datagram, SocketProtocol::tcp);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().errorCode, Socket::SOCKET_ERR_BAD_SIGNATURE_PARAMETERS);
  EXPECT_EQ(bad.error().errorReason, "Datagram socket must use .udp or .unix for the protocol.");
  EXPECT_EQ(openDescriptorCount(), before);

  auto adopted = Socket::createFromNativeHandle(3, std::nullopt);
  ASSERT_FALSE(adopted);
  EXPECT_EQ(adopted.error().errorCode, Socket::SOCKET_ERR_MISSING_CONNECTION_DATA);
  EXPECT_EQ(adopted.error().errorReason, "Unable to access socket connection data.");
}

TEST_F(UnixSocketTest, ReadBufferSizeHasAFloorAndGrowsForASecureLayer) {
  auto socket = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(socket);
  (*socket)->setReadBufferSize(0);
  EXPECT_EQ((*socket)->readBufferSize(), 1024);
  (*socket)->setReadBufferSize(100);
  EXPECT_EQ((*socket)->readBufferSize(), 1024);
  (*socket)->setReadBufferSize(8192);
  EXPECT_EQ((*socket)->readBufferSize(), 8192);
}

// A descriptor numbered 0 is a descriptor like any other: releasing the
// socket that owns it closes it.
TEST_F(UnixSocketTest, ReleasingASocketClosesDescriptorZero) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const int savedInput = ::fcntl(0, F_DUPFD_CLOEXEC, 10);
  ASSERT_GE(savedInput, 0);
  ASSERT_EQ(::dup2(pair[0], 0), 0);
  ::close(pair[0]);

  sockaddr_un unnamed{};
  unnamed.sun_family = AF_UNIX;
  {
    auto adopted = Socket::createFromNativeHandle(0, SocketAddress::unix(unnamed));
    ASSERT_TRUE(adopted) << adopted.error().description();
    EXPECT_EQ((*adopted)->socketfd(), 0);
    EXPECT_TRUE((*adopted)->isConnected());
  }
  EXPECT_EQ(::fcntl(0, F_GETFD), -1);
  // The peer sees the close at once.
  char byte;
  EXPECT_EQ(::recv(pair[1], &byte, 1, MSG_DONTWAIT), 0);

  ::dup2(savedInput, 0);
  ::close(savedInput);
  ::close(pair[1]);
}

TEST_F(UnixSocketTest, ShutdownWakesABlockedReader) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.server);
  auto reader = std::async(std::launch::async, [&] {
    Data data;
    return c.server->read(data);
  });
  c.server->shutdown();
  auto result = reader.get();
  ASSERT_TRUE(result) << result.error().description();
  EXPECT_EQ(*result, 0u);
  EXPECT_TRUE(c.server->remoteConnectionClosed());
  // The descriptor stays open until closed.
  EXPECT_GE(c.server->socketfd(), 0);
  auto written = c.server->write(std::string_view("late"));
  EXPECT_FALSE(written);
}

TEST_F(UnixSocketTest, ClosingFromAnotherThreadWakesABlockedReader) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.server);
  // Only a guard: were the reader not woken, it would give up after this
  // long with the peer not marked as gone.
  ASSERT_TRUE(c.server->setReadTimeout(10000));
  std::atomic<pid_t> readerThread{0};
  std::promise<Socket::Result<std::size_t>> outcome;
  std::thread reader([&] {
    readerThread = currentThreadId();
    Data data;
    outcome.set_value(c.server->read(data));
  });
  while (readerThread.load() == 0) std::this_thread::yield();
  Interrupter::waitUntilBlocked(readerThread.load(), {SYS_recvfrom});
  c.server->close();
  reader.join();
  auto result = outcome.get_future().get();
  // Woken with nothing read: the close is seen as the end of the stream.
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, 0u);
  EXPECT_TRUE(c.server->remoteConnectionClosed());
  EXPECT_EQ(c.server->socketfd(), -1);
  // The client sees the connection end.
  Data data;
  auto clientRead = c.client->read(data);
  EXPECT_TRUE(!clientRead || *clientRead == 0u);
}

// The server's accept loop and its stop run on different threads: the
// close hands the descriptor and the socket file over without racing the
// accept that waits on them.
TEST_F(UnixSocketTest, ClosingAListenerFromAnotherThreadWakesABlockedAccept) {
  auto listener = unixListener(socketPath());
  ASSERT_TRUE(listener);
  std::atomic<pid_t> acceptorThread{0};
  std::promise<Socket::Result<Socket::Ptr>> outcome;
  std::thread acceptor([&] {
    acceptorThread = currentThreadId();
    outcome.set_value(listener->acceptClientConnection());
  });
  while (acceptorThread.load() == 0) std::this_thread::yield();
  Interrupter::waitUntilBlocked(acceptorThread.load(), {SYS_accept4, SYS_accept});
  listener->close();
  acceptor.join();
  auto result = outcome.get_future().get();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().errorCode, Socket::SOCKET_ERR_ACCEPT_FAILED);
  EXPECT_EQ(listener->socketfd(), -1);
  EXPECT_FALSE(isSocket(socketPath()));
}

TEST_F(UnixSocketTest, ConnectingChecksStateAndFamily) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.client);
  EXPECT_TRUE(c.client->isConnected());
  EXPECT_EQ(c.client->listeningPort(), -1);
  EXPECT_EQ(c.client->remotePath(), socketPath());
  auto again = c.client->connect(socketPath());
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().errorCode, Socket::SOCKET_ERR_ALREADY_CONNECTED);

  auto inet = Socket::create();
  ASSERT_TRUE(inet);
  auto wrong = (*inet)->connect(socketPath());
  ASSERT_FALSE(wrong);
  EXPECT_EQ(wrong.error().errorCode, Socket::SOCKET_ERR_WRONG_PROTOCOL);

  auto lonely = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(lonely);
  auto missing = (*lonely)->connect(socketPath("nobody.sock"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().errorCode, Socket::SOCKET_ERR_CONNECT_FAILED);
  EXPECT_EQ(missing.error().errorReason, std::string(std::strerror(ENOENT)));
  EXPECT_FALSE((*lonely)->isConnected());

  (*lonely)->close();
  auto closed = (*lonely)->connect(socketPath());
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
}

TEST_F(UnixSocketTest, PeerCredentialsNameTheProcessAtTheOtherEnd) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.server && c.client);
  for (const auto& end : {c.server, c.client}) {
    auto credentials = end->peerCredentials();
    ASSERT_TRUE(credentials) << credentials.error().description();
    EXPECT_EQ(credentials->pid, ::getpid());
    EXPECT_EQ(credentials->uid, ::geteuid());
    EXPECT_EQ(credentials->gid, ::getegid());
  }

  // Only a Unix-domain socket has them, and only while it is open.
  auto tcp = connectTcp();
  ASSERT_TRUE(tcp.server);
  auto inet = tcp.server->peerCredentials();
  ASSERT_FALSE(inet);
  EXPECT_EQ(inet.error().errorCode, Socket::SOCKET_ERR_WRONG_PROTOCOL);
  c.server->close();
  auto closed = c.server->peerCredentials();
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
}

TEST_F(UnixSocketTest, PeerCredentialsCarryTheUidTheClientConnectedAs) {
  if (::geteuid() != 0) GTEST_SKIP() << "connecting as another user needs root";
  constexpr uid_t kNobody = 65534;
  auto listener = unixListener(socketPath());
  ASSERT_EQ(::chmod(root_.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(socketPath().c_str(), 0777), 0);
  const std::string path = socketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  // The child only makes system calls: it drops to another user, connects
  // and waits for the parent to close.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(3);
    char byte;
    (void)::read(fd, &byte, 1);
    ::_exit(0);
  }
  auto accepted = listener->acceptClientConnection();
  ASSERT_TRUE(accepted) << accepted.error().description();
  auto credentials = (*accepted)->peerCredentials();
  (*accepted)->close();
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_TRUE(credentials) << credentials.error().description();
  EXPECT_EQ(credentials->uid, kNobody);
  EXPECT_EQ(credentials->gid, kNobody);
  EXPECT_EQ(credentials->pid, child);
}

TEST_F(UnixSocketTest, ConnectingBySignaturePrefersThePath) {
  auto listener = unixListener(socketPath());
  auto signature = SocketSignature::create(SocketType::stream, SocketProtocol::unix, socketPath());
  ASSERT_TRUE(signature);
  signature->hostname = "127.0.0.1";
  signature->port = 9;  // never tried: the path comes first
  auto client = Socket::createConnected(*signature);
  ASSERT_TRUE(client) << client.error().description();
  EXPECT_TRUE((*client)->isConnected());
  EXPECT_EQ((*client)->remotePath(), socketPath());
  EXPECT_TRUE(listener->acceptClientConnection());

  SocketSignature empty;
  empty.hostname.reset();
  auto socket = Socket::create();
  ASSERT_TRUE(socket);
  auto nothing = (*socket)->connect(empty);
  ASSERT_FALSE(nothing);
  EXPECT_EQ(nothing.error().errorCode, Socket::SOCKET_ERR_MISSING_CONNECTION_DATA);
  EXPECT_EQ(nothing.error().errorReason, "Unable to access connection data.");
}

// --- Reading ------------------------------------------------------------------

TEST_F(UnixSocketTest, ReadAppendsWhatCameAndEmptiesTheStore) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.client->write(std::string_view("0123456789")));
  Data data = {'>', '>'};
  auto count = c.server->read(data);
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, 10u);
  EXPECT_EQ(std::string(data.begin(), data.end()), ">>0123456789");
  EXPECT_EQ(c.server->pendingByteCount(), 0u);
}

TEST_F(UnixSocketTest, AFullBufferReadDoesNotWaitASecondTime) {
  auto c = connectUnix(socketPath());
  // Exactly one read buffer, and the peer waits: the second receive must not block.
  ASSERT_TRUE(c.client->write(pattern(4096, 2)));
  Data data;
  auto count = c.server->read(data);
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, 4096u);
}

TEST_F(UnixSocketTest, OneReadTakesEverythingThatIsThere) {
  auto c = connectUnix(socketPath());
  const Data sent = pattern(9000, 5);
  ASSERT_TRUE(c.client->write(sent));
  Data data;
  auto count = c.server->read(data);
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, 9000u);
  EXPECT_EQ(data, sent);
}

TEST_F(UnixSocketTest, PeerClosingEndsReadsButNotTheConnection) {
  auto c = connectUnix(socketPath());
  c.client->close();
  Data data;
  auto count = c.server->read(data);
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, 0u);
  EXPECT_TRUE(c.server->remoteConnectionClosed());
  EXPECT_TRUE(c.server->isConnected());
  EXPECT_EQ(*c.server->read(data), 0u);
  EXPECT_TRUE(data.empty());
}

// Bytes that arrived just before the peer closed are handed out, not held
// back for ever behind the close.
TEST_F(UnixSocketTest, BytesSentJustBeforeACloseAreDelivered) {
  auto c = connectUnix(socketPath());
  const Data sent = pattern(4096 * 3, 9);
  ASSERT_TRUE(c.client->write(sent));
  c.client->close();
  Data data;
  auto count = c.server->read(data);
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, sent.size());
  EXPECT_EQ(data, sent);
  EXPECT_TRUE(c.server->remoteConnectionClosed());
  EXPECT_EQ(*c.server->read(data), 0u);

  // The same for bytes already held by an earlier truncating read.
  auto d = connectUnix(socketPath("e.sock"));
  ASSERT_TRUE(d.client->write(std::string_view("abcdef")));
  std::uint8_t two[2];
  ASSERT_EQ(*d.server->read(two, 2, true), 2u);
  d.client->close();
  Data rest;
  ASSERT_EQ(*d.server->read(rest), 4u);
  EXPECT_EQ(std::string(rest.begin(), rest.end()), "cdef");
}

TEST_F(UnixSocketTest, NonBlockingAndTimedOutReadsReturnNothing) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.server->setBlocking(false));
  EXPECT_FALSE(c.server->isBlocking());
  Data data;
  EXPECT_EQ(*c.server->read(data), 0u);
  EXPECT_FALSE(c.server->remoteConnectionClosed());
  ASSERT_TRUE(c.server->setBlocking(true));
  EXPECT_TRUE(c.server->isBlocking());

  ASSERT_TRUE(c.server->setReadTimeout(250));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(*c.server->read(data), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_FALSE(c.server->remoteConnectionClosed());
  ASSERT_TRUE(c.server->setReadTimeout(0));
}

TEST_F(UnixSocketTest, BufferReadsServeTheStoreAndReportTheSizeNeeded) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.client->write(std::string_view("0123456789")));
  std::uint8_t small[4];
  auto tooSmall = c.server->read(small, sizeof small);
  ASSERT_FALSE(tooSmall);
  EXPECT_EQ(tooSmall.error().errorCode, Socket::SOCKET_ERR_RECV_BUFFER_TOO_SMALL);
  EXPECT_EQ(tooSmall.error().bufferSizeNeeded, 10);
  EXPECT_FALSE(tooSmall.error().errorReason.has_value());
  EXPECT_EQ(c.server->pendingByteCount(), 10u);

  auto truncated = c.server->read(small, sizeof small, true);
  ASSERT_TRUE(truncated);
  EXPECT_EQ(*truncated, 4u);
  EXPECT_EQ(std::memcmp(small, "0123", 4), 0);
  // The rest comes from the store, without a receive (nothing more was sent,
  // so a receive would wait).
  std::uint8_t rest[16];
  auto remaining = c.server->read(rest, sizeof rest);
  ASSERT_TRUE(remaining);
  EXPECT_EQ(*remaining, 6u);
  EXPECT_EQ(std::memcmp(rest, "456789", 6), 0);

  c.server->close();
  auto zero = c.server->read(rest, 0);
  ASSERT_FALSE(zero);
  EXPECT_EQ(zero.error().errorCode, Socket::SOCKET_ERR_INVALID_BUFFER);
  auto closed = c.server->read(rest, sizeof rest);
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
}

TEST_F(UnixSocketTest, ReadStringGivesTheTextOfOneRead) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.client->write(std::string_view("abc")));
  auto text = c.server->readString();
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "abc");

  const char cut[] = {'a', '\xC3'};
  ASSERT_TRUE(c.client->write(cut, sizeof cut));
  auto invalid = c.server->readString();
  ASSERT_FALSE(invalid);
  EXPECT_EQ(invalid.error().errorCode, Socket::SOCKET_ERR_INTERNAL);
  EXPECT_EQ(invalid.error().errorReason, "Unable to convert data to NSString.");

  c.client->close();
  auto closed = c.server->readString();
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().errorCode, Socket::SOCKET_ERR_INTERNAL);
  EXPECT_EQ(closed.error().errorReason, "Unable to convert data to NSString.");
}

TEST_F(UnixSocketTest, ReadsAndWritesNeedAConnectedSocket) {
  auto socket = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(socket);
  Data data;
  EXPECT_EQ((*socket)->read(data).error().errorCode, Socket::SOCKET_ERR_NOT_CONNECTED);
  EXPECT_EQ((*socket)->write(std::string_view("x")).error().errorCode, Socket::SOCKET_ERR_NOT_CONNECTED);
  // Empty data is no write at all; an empty text is a bad buffer.
  auto empty = (*socket)->write(Data{});
  ASSERT_TRUE(empty);
  EXPECT_EQ(*empty, 0u);
  EXPECT_EQ((*socket)->write(std::string_view("")).error().errorCode, Socket::SOCKET_ERR_INVALID_BUFFER);
  (*socket)->close();
  EXPECT_EQ((*socket)->read(data).error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
  EXPECT_EQ((*socket)->write(std::string_view("x")).error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
}

TEST_F(UnixSocketTest, NonBlockingWriteReturnsWhatTheQueueTook) {
  auto c = connectUnix(socketPath());
  ASSERT_TRUE(c.server->setBlocking(false));
  const Data big = pattern(16 << 20, 4);
  auto written = c.server->write(big);
  ASSERT_TRUE(written) << written.error().description();
  EXPECT_GT(*written, 0u);
  EXPECT_LT(*written, big.size());
}

// --- Readiness, options and waiting ------------------------------------------

TEST_F(UnixSocketTest, ReadinessOfAConnectedSocket) {
  auto c = connectUnix(socketPath());
  auto idle = c.server->isReadableOrWritable();
  ASSERT_TRUE(idle);
  EXPECT_FALSE(idle->readable);
  EXPECT_TRUE(idle->writable);
  ASSERT_TRUE(c.client->write(std::string_view("x")));
  auto pending = c.server->isReadableOrWritable(false, 5000);
  ASSERT_TRUE(pending);
  EXPECT_TRUE(pending->readable);
  EXPECT_TRUE(pending->writable);

  auto listening = c.listener->isReadableOrWritable();
  ASSERT_FALSE(listening);
  EXPECT_EQ(listening.error().errorCode, Socket::SOCKET_ERR_NOT_CONNECTED);

  auto status = Socket::checkStatus({c.server, c.client});
  ASSERT_TRUE(status);
  ASSERT_EQ(status->readables.size(), 1u);
  EXPECT_EQ(status->readables[0], c.server);
  EXPECT_EQ(status->writables.size(), 2u);

  c.server->close();
  EXPECT_EQ(c.server->isReadableOrWritable().error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
  EXPECT_EQ(Socket::checkStatus({c.client, c.server}).error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);
}

TEST_F(UnixSocketTest, OptionSettersFailOnAClosedSocket) {
  auto socket = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(socket);
  ASSERT_TRUE((*socket)->setWriteTimeout(1500));
  (*socket)->close();
  auto blocking = (*socket)->setBlocking(false);
  ASSERT_FALSE(blocking);
  EXPECT_EQ(blocking.error().errorCode, Socket::SOCKET_ERR_GET_FCNTL_FAILED);
  EXPECT_EQ(blocking.error().errorReason, std::string(std::strerror(EBADF)));
  EXPECT_TRUE((*socket)->isBlocking());
  EXPECT_EQ((*socket)->setReadTimeout(250).error().errorCode, Socket::SOCKET_ERR_SET_RECV_TIMEOUT_FAILED);
  EXPECT_EQ((*socket)->setWriteTimeout(250).error().errorCode, Socket::SOCKET_ERR_SET_WRITE_TIMEOUT_FAILED);
}

TEST_F(UnixSocketTest, WaitReportsListenersWithClientsAndChecksItsSockets) {
  auto listener = unixListener(socketPath());
  auto none = Socket::wait({listener}, 0);
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->has_value());

  auto client = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(client);
  ASSERT_TRUE((*client)->connect(socketPath()));
  auto ready = Socket::wait({listener}, 5000);
  ASSERT_TRUE(ready);
  ASSERT_TRUE(ready->has_value());
  ASSERT_EQ((*ready)->size(), 1u);
  EXPECT_EQ((**ready)[0], listener);
  auto forever = Socket::wait({listener}, 0, true);
  ASSERT_TRUE(forever && forever->has_value());

  auto idle = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  ASSERT_TRUE(idle);
  EXPECT_EQ(Socket::wait({listener, *idle}, 0).error().errorCode, Socket::SOCKET_ERR_NOT_ACTIVE);
  (*idle)->close();
  EXPECT_EQ(Socket::wait({*idle}, 0).error().errorCode, Socket::SOCKET_ERR_BAD_DESCRIPTOR);

  auto empty = Socket::wait({}, 0, true);
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->has_value());
}

}  // namespace
}  // namespace vozi

namespace vozi {
namespace {

TEST_F(UnixSocketTest, OneReadTakesAtMostItsLimitFromAPeerThatKeepsSending) {
  using namespace sockettest;
  auto connection = connectUnix(socketPath());
  ASSERT_TRUE(connection.server && connection.client);
  // Queue far more than one read may take before reading at all. A larger
  // send buffer than the system default needs the privileged option.
  constexpr int kQueued = 6 << 20;
  const int clientFd = connection.client->socketfd();
  if (::setsockopt(clientFd, SOL_SOCKET, SO_SNDBUFFORCE, &kQueued, sizeof kQueued) != 0)
    GTEST_SKIP() << "cannot enlarge the send buffer without CAP_NET_ADMIN";
  const Data sent = pattern(4 << 20, 7);
  ASSERT_EQ(::fcntl(clientFd, F_SETFL, ::fcntl(clientFd, F_GETFL) | O_NONBLOCK), 0);
  std::size_t written = 0;
  while (written < sent.size()) {
    const ssize_t n = ::send(clientFd, sent.data() + written, sent.size() - written, MSG_NOSIGNAL);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  ASSERT_GT(written, static_cast<std::size_t>(2 << 20)) << "the peer could not queue enough to show the limit";

  Data received;
  auto count = connection.server->read(received);
  ASSERT_TRUE(count);
  EXPECT_GE(*count, static_cast<std::size_t>(1));
  EXPECT_LE(*count, static_cast<std::size_t>(Socket::SOCKET_MAXIMUM_BYTES_PER_READ + connection.server->readBufferSize()));
  // Nothing is lost: the rest comes with the following reads.
  while (received.size() < written) {
    auto more = connection.server->read(received);
    ASSERT_TRUE(more);
    ASSERT_GT(*more, 0u);
  }
  EXPECT_TRUE(std::equal(received.begin(), received.end(), sent.begin()));
}

}  // namespace
}  // namespace vozi
