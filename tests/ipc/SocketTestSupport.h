#pragma once

// Fixtures shared by the socket tests: connected pairs over a Unix-domain
// path in the test's temporary root or over 127.0.0.1, descriptor counting,
// and a way to interrupt a thread blocked in a system call.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>

#include "ipc/socket/Socket.h"
#include "platform/Value.h"

namespace vozi::sockettest {

// Descriptors the process holds right now.
inline std::size_t openDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// True when a socket of `type` (SOCK_STREAM, SOCK_DGRAM) can bind ::1.
inline bool loopbackIPv6Available(int type) {
  const int fd = ::socket(AF_INET6, type, 0);
  if (fd < 0) return false;
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

inline platform::Data pattern(std::size_t size, std::uint8_t seed) {
  platform::Data data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 31 + seed) & 0xFF);
  return data;
}

struct Connection {
  Socket::Ptr listener;
  Socket::Ptr server;  // the accepted end
  Socket::Ptr client;
};

inline Socket::Ptr unixListener(const std::string& path) {
  auto listener = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  EXPECT_TRUE(listener);
  auto listening = (*listener)->listen(path, 50);
  EXPECT_TRUE(listening) << (listening ? "" : listening.error().description());
  return *listener;
}

inline Connection connectUnix(const std::string& path) {
  Connection connection;
  connection.listener = unixListener(path);
  auto client = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  EXPECT_TRUE(client);
  connection.client = *client;
  auto connected = connection.client->connect(path);
  EXPECT_TRUE(connected) << (connected ? "" : connected.error().description());
  auto server = connection.listener->acceptClientConnection();
  EXPECT_TRUE(server) << (server ? "" : server.error().description());
  if (server) connection.server = *server;
  return connection;
}

// A TCP listener on 127.0.0.1 at a port the system picks.
inline Socket::Ptr tcpListener(long backlog = 50) {
  auto listener = Socket::create(SocketProtocolFamily::inet, SocketType::stream, SocketProtocol::tcp);
  EXPECT_TRUE(listener);
  auto listening = (*listener)->listen(0, backlog, std::string("127.0.0.1"));
  EXPECT_TRUE(listening) << (listening ? "" : listening.error().description());
  return *listener;
}

inline Connection connectTcp() {
  Connection connection;
  connection.listener = tcpListener();
  auto client = Socket::create();
  EXPECT_TRUE(client);
  connection.client = *client;
  auto connected = connection.client->connect("127.0.0.1", connection.listener->listeningPort());
  EXPECT_TRUE(connected) << (connected ? "" : connected.error().description());
  auto server = connection.listener->acceptClientConnection();
  EXPECT_TRUE(server) << (server ? "" : server.error().description());
  if (server) connection.server = *server;
  return connection;
}

// Reads until `size` bytes have come (or the peer closed).
inline platform::Data readExactly(Socket& socket, std::size_t size) {
  platform::Data data;
  while (data.size() < size) {
    auto count = socket.read(data);
    if (!count || *count == 0) break;
  }
  return data;
}

// Installs a SIGUSR1 handler without SA_RESTART, so that the signal breaks
// a blocked system call with EINTR, and restores the old one afterwards.
class Interrupter {
 public:
  Interrupter() {
    struct sigaction action {};
    action.sa_handler = &Interrupter::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ::sigaction(SIGUSR1, &action, &previous_);
  }
  ~Interrupter() { ::sigaction(SIGUSR1, &previous_, nullptr); }
  Interrupter(const Interrupter&) = delete;
  Interrupter& operator=(const Interrupter&) = delete;

  // Waits until thread `tid` sits in one of the system calls, then sends it
  // the signal and waits until the handler has run.
  void interruptWhenBlocked(std::thread& thread, pid_t tid, std::initializer_list<long> syscalls) {
    waitUntilBlocked(tid, syscalls);
    const int before = delivered_.load();
    ::pthread_kill(thread.native_handle(), SIGUSR1);
    while (delivered_.load() == before) std::this_thread::yield();
  }

  static void waitUntilBlocked(pid_t tid, std::initializer_list<long> syscalls) {
    const std::string file = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    for (;;) {
      std::ifstream in(file);
      long number = -1;
      if (in >> number) {
        for (long wanted : syscalls)
          if (number == wanted) return;
      }
      std::this_thread::yield();
    }
  }

 private:
  static void handle(int) { delivered_.fetch_add(1); }

  static inline std::atomic<int> delivered_{0};
  struct sigaction previous_ {};
};

inline pid_t currentThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

}  // namespace vozi::sockettest
