// The daemon's socket against the least a Unix-socket server can do.
//
// The daemon's server runs in process on a temporary root whose store holds a
// cleaning history of eleven categories; each request is
// {"method":"getCleaningHistory"}, answered from the store. The peer is an
// echo server on a Unix socket of its own that answers every line at once
// with a copy of the daemon's reply, one thread per client: the limit of the
// transport. Each round measures, interleaved, one client sending requests
// one after another (latency: p50, p99) and 50 clients at once (requests per
// second), for both servers. Reported: the medians over the rounds and their
// ratios.

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

#include "client/VoziClient.h"
#include "common/ScanGroupName.h"
#include "ipc/IPCShared.h"
#include "platform/Json.h"
#include "server/UnixSocketIPCServer.h"
#include "support/TempRoot.h"

namespace {

using Clock = std::chrono::steady_clock;
using vozi::client::SocketClient;
constexpr int kRounds = 5;
constexpr int kSequential = 2000;
constexpr int kClients = 50;
constexpr int kPerClient = 200;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Answers each line with `reply`, one thread per client.
class EchoServer {
 public:
  EchoServer(std::string path, std::string reply) : path_(std::move(path)), reply_(std::move(reply)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
    ::unlink(path_.c_str());
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 128) != 0)
      std::abort();
    acceptor_ = std::thread([this] {
      for (;;) {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::lock_guard lock(mutex_);
        clients_.push_back(client);
        workers_.emplace_back([this, client] { serve(client); });
      }
    });
  }
  ~EchoServer() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    acceptor_.join();
    {
      std::lock_guard lock(mutex_);
      for (int client : clients_) ::shutdown(client, SHUT_RDWR);
    }
    for (auto& worker : workers_) worker.join();
    for (int client : clients_) ::close(client);
    ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  void serve(int client) {
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(client, buffer, sizeof buffer);
      if (got <= 0) return;
      for (ssize_t i = 0; i < got; ++i)
        if (buffer[i] == '\n' && ::write(client, reply_.data(), reply_.size()) < 0) return;
    }
  }

  std::string path_;
  std::string reply_;
  int listener_ = -1;
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<int> clients_;
  std::vector<std::thread> workers_;
};

// One request and its reply; false when the reply did not come.
bool ask(SocketClient& client) {
  static const vozi::platform::Value::Dictionary request{
      {"method", vozi::platform::Value(std::string("getCleaningHistory"))}};
  if (!client.send(request)) return false;
  auto reply = client.receive(std::chrono::seconds(30));
  return reply && *reply;
}

struct Figures {
  double p50Microseconds = 0;
  double p99Microseconds = 0;
  double oneClientRate = 0;
  double manyClientsRate = 0;
};

Figures measure(const std::string& path) {
  Figures figures;
  auto client = SocketClient::connect(path);
  if (!client) std::abort();
  std::vector<double> latencies;
  const auto start = Clock::now();
  for (int i = 0; i < kSequential; ++i) {
    const auto before = Clock::now();
    if (!ask(**client)) std::abort();
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
  }
  figures.oneClientRate = kSequential / std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(latencies.begin(), latencies.end());
  figures.p50Microseconds = latencies[latencies.size() / 2];
  figures.p99Microseconds = latencies[latencies.size() * 99 / 100];

  std::vector<std::unique_ptr<SocketClient>> clients;
  for (int i = 0; i < kClients; ++i) {
    auto made = SocketClient::connect(path);
    if (!made) std::abort();
    clients.push_back(std::move(*made));
  }
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (auto& each : clients) {
    threads.emplace_back([&go, &each] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kPerClient; ++i)
        if (!ask(*each)) std::abort();
    });
  }
  const auto manyStart = Clock::now();
  go = true;
  for (auto& thread : threads) thread.join();
  figures.manyClientsRate = kClients * kPerClient / std::chrono::duration<double>(Clock::now() - manyStart).count();
  return figures;
}

void BM_SocketServer(benchmark::State& state) {
  vozi::test::TempRoot root;
  vozi::UnixSocketIPCServer::Options options;
  options.agentLink = vozi::UserAgentManger::make(std::chrono::milliseconds(200));
  options.exitProcess = [](int) {};
  // The bench's own 50 clients are one uid: its cap is raised to fit them.
  options.socketLimits.connectionsPerUid = 128;
  options.socketLimits.ordinaryConnections = 128;
  options.socketLimits.connections = 192;
  auto made = vozi::UnixSocketIPCServer::make(vozi::UnixSocketIPCServer::Factories::standIns(), options);
  if (!made) {
    state.SkipWithError("no server");
    return;
  }
  auto server = *made;
  for (const auto category : vozi::kAllScanGroupNames)
    server->zolData()->recordClean(category, 1000, vozi::platform::Date::now());
  server->start();
  const std::string path = vozi::UnixSocketIPCServerConstant::Path();
  for (int i = 0; i < 6000 && !SocketClient::connect(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));

  // The echo answers with the daemon's own reply.
  auto probe = SocketClient::connect(path);
  if (!probe || !ask(**probe)) {
    state.SkipWithError("no answer");
    return;
  }
  if (!(*probe)->send({{"method", vozi::platform::Value(std::string("getCleaningHistory"))}})) std::abort();
  auto sample = (*probe)->receive(std::chrono::seconds(30));
  const std::string reply = *vozi::platform::Json::serialize(vozi::platform::Value(**sample));
  EchoServer echo(root.path() + "/echo.socket", reply);

  std::vector<double> echoP50, echoP99, echoOne, echoMany, ourP50, ourP99, ourOne, ourMany;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      const Figures e = measure(echo.path());
      const Figures o = measure(path);
      echoP50.push_back(e.p50Microseconds);
      echoP99.push_back(e.p99Microseconds);
      echoOne.push_back(e.oneClientRate);
      echoMany.push_back(e.manyClientsRate);
      ourP50.push_back(o.p50Microseconds);
      ourP99.push_back(o.p99Microseconds);
      ourOne.push_back(o.oneClientRate);
      ourMany.push_back(o.manyClientsRate);
    }
  }
  state.counters["echo_p50_us"] = median(echoP50);
  state.counters["echo_p99_us"] = median(echoP99);
  state.counters["echo_1_client_rps"] = median(echoOne);
  state.counters["echo_50_clients_rps"] = median(echoMany);
  state.counters["vozi_p50_us"] = median(ourP50);
  state.counters["vozi_p99_us"] = median(ourP99);
  state.counters["vozi_1_client_rps"] = median(ourOne);
  state.counters["vozi_50_clients_rps"] = median(ourMany);
  state.counters["p50_ratio_to_echo"] = median(ourP50) / median(echoP50);
  state.counters["50_clients_share_of_echo_1_client"] = median(ourMany) / median(echoOne);
  state.counters["50_clients_over_own_1_client"] = median(ourMany) / median(ourOne);
  server->dataSyncQueue()->sync([&] { server->shutdownServer(); });
}

BENCHMARK(BM_SocketServer)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
