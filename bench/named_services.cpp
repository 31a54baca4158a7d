// The named-services transport against the plain socket it runs on:
// - round trips of a one-string call with a bool reply, against a Unix
//   socket echo of frames of the same size;
// - a call whose reply holds a decoded 100,000-item scan result, against
//   its floor: encoding the archive, echoing its bytes over a plain socket
//   and decoding it under the item-tree class list;
// - the frame size of a 1,000,000-item scan result (what the frame cap must
//   hold).

#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <future>
#include <thread>

#include "ScanResultFixture.h"
#include "common/RecordArchive.h"
#include "platform/services/EchoService.h"
#include "platform/services/ServiceFrameReader.h"
#include "platform/services/ServiceSocket.h"
#include "platform/services/XPCConnection.h"
#include "platform/services/XPCListener.h"
#include "support/TempRoot.h"

using namespace vozi;
using platform::Data;
using platform::ServiceFrameReader;
using platform::ServiceSocket;
using platform::XPCConnection;
using platform::XPCListener;

namespace {

using bench::makeScanResult;


// The scan service of the benchmark: answers with a result made beforehand.
class IScanResults {
 public:
  virtual ~IScanResults() = default;
  virtual void requestScannedData(std::vector<std::string> names, std::function<void(std::vector<ItemGroupPtr>)> reply) = 0;
};

platform::XPCInterfacePtr scanResultsInterface() {
  static const auto interface = platform::XPCInterface::describe<IScanResults>("IScanResults")
                                    .method<&IScanResults::requestScannedData>("requestScannedData:replyBlock:",
                                                                                {{"NSArray", "NSString"}},
                                                                                {RecordArchive::itemTreeClasses()})
                                    .build();
  return interface;
}

class ScanResults : public IScanResults {
 public:
  std::vector<ItemGroupPtr> groups;
  void requestScannedData(std::vector<std::string>, std::function<void(std::vector<ItemGroupPtr>)> reply) override {
    reply(groups);
  }
};

class EchoOnly : public test::IEchoService {
 public:
  void echo(std::string text, std::function<void(bool)> reply) override { reply(!text.empty()); }
  void scan(test::Records, std::function<void(test::Records)>) override {}
  void post(std::int64_t, platform::Value) override {}
  void hold(std::string, std::function<void(bool)>) override {}
  void unlisted(std::string) override {}
};

// One listener for every benchmark, under a temporary host root.
struct Services {
  test::TempRoot root;
  std::shared_ptr<XPCListener> echoListener = XPCListener::make("bench.echo");
  std::shared_ptr<XPCListener> scanListener = XPCListener::make("bench.scan");
  std::shared_ptr<ScanResults> scanResults = std::make_shared<ScanResults>();

  Services() {
    RecordArchive::registerClasses();
    echoListener->setNewConnectionHandler([](const std::shared_ptr<XPCConnection>& c) {
      c->setExportedInterface(test::echoInterface());
      c->setExportedObject<test::IEchoService>(std::make_shared<EchoOnly>());
      c->resume();
      return true;
    });
    scanListener->setNewConnectionHandler([this](const std::shared_ptr<XPCConnection>& c) {
      c->setExportedInterface(scanResultsInterface());
      c->setExportedObject<IScanResults>(scanResults);
      c->resume();
      return true;
    });
    if (!echoListener->resume().ok() || !scanListener->resume().ok()) std::abort();
  }
};

Services& services() {
  static Services* shared = new Services;  // lives until the process ends
  return *shared;
}

// A plain Unix-socket echo: a thread that sends every frame back.
class PlainEcho {
 public:
  PlainEcho() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
    client_ = ends[0];
    server_ = ends[1];
    thread_ = std::thread([this] {
      ServiceFrameReader reader(XPCConnection::kMaxFrameBytes);
      std::vector<std::uint8_t> buffer(64 * 1024);
      std::vector<Data> frames;
      for (;;) {
        const long got = ServiceSocket::receive(server_, buffer.data(), buffer.size());
        if (got <= 0) break;
        frames.clear();
        if (!reader.append(buffer.data(), static_cast<std::size_t>(got), frames).ok()) break;
        for (const auto& frame : frames) send(server_, frame);
      }
    });
  }
  ~PlainEcho() {
    ServiceSocket::shutdown(client_);
    thread_.join();
    ::close(client_);
    ::close(server_);
  }
  // Sends a frame and waits for it to come back.
  Data roundTrip(const Data& frame) {
    send(client_, frame);
    ServiceFrameReader reader(XPCConnection::kMaxFrameBytes);
    std::vector<Data> frames;
    while (frames.empty()) {
      const long got = ServiceSocket::receive(client_, buffer_.data(), buffer_.size());
      if (got <= 0 || !reader.append(buffer_.data(), static_cast<std::size_t>(got), frames).ok()) std::abort();
    }
    return std::move(frames.front());
  }

 private:
  static void send(int fd, const Data& frame) {
    std::uint8_t header[ServiceFrameReader::kHeaderSize];
    ServiceFrameReader::writeHeader(frame.size(), header);
    if (ServiceSocket::sendAll(fd, header, sizeof header) != 0 || ServiceSocket::sendAll(fd, frame.data(), frame.size()) != 0)
      return;
  }
  int client_ = -1;
  int server_ = -1;
  std::thread thread_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(64 * 1024);
};

Data echoCallFrame() {
  platform::KeyedArchiver archiver;
  archiver.encode("selector", "echo:reply:");
  archiver.encodeInt64("replyID", 1);
  archiver.encode("a0", std::string("hello"));
  return *archiver.finishEncoding();
}

void BM_PlainSocketEchoRoundTrip(benchmark::State& state) {
  PlainEcho echo;
  const Data frame = echoCallFrame();
  for (auto _ : state) benchmark::DoNotOptimize(echo.roundTrip(frame));
  state.counters["frameBytes"] = static_cast<double>(frame.size());
  state.counters["roundTrips/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ServiceEchoRoundTrip(benchmark::State& state) {
  services();
  auto connection = XPCConnection::connectToService("bench.echo");
  connection->setRemoteObjectInterface(test::echoInterface());
  connection->resume();
  auto proxy = connection->remoteObjectProxy<test::IEchoService>();
  for (auto _ : state) {
    std::promise<bool> answer;
    proxy.call<&test::IEchoService::echo>(std::string("hello"), [&](bool value) { answer.set_value(value); });
    benchmark::DoNotOptimize(answer.get_future().get());
  }
  state.counters["roundTrips/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  connection->invalidate();
}

constexpr std::size_t kResultItems = 100000;

void BM_ScanReplyFloor(benchmark::State& state) {
  const std::vector<ItemGroupPtr> groups{makeScanResult(kResultItems)};
  PlainEcho echo;
  std::size_t bytes = 0;
  auto once = [&] {
    auto archive = RecordArchive::archivedGroups(groups);
    const Data back = echo.roundTrip(*archive);
    auto decoded = RecordArchive::unarchivedGroups(back);
    bytes = archive->size();
    return decoded ? decoded->front()->count() : 0;
  };
  once();  // the first round warms the allocator up, as it does for the service
  for (auto _ : state) {
    if (once() != kResultItems) state.SkipWithError("the result did not come back whole");
  }
  state.counters["frameBytes"] = static_cast<double>(bytes);
}

void BM_ScanReplyThroughService(benchmark::State& state) {
  services().scanResults->groups = {makeScanResult(kResultItems)};
  auto connection = XPCConnection::connectToService("bench.scan");
  connection->setRemoteObjectInterface(scanResultsInterface());
  connection->resume();
  auto proxy = connection->remoteObjectProxy<IScanResults>();
  auto once = [&] {
    std::promise<std::size_t> answer;
    proxy.call<&IScanResults::requestScannedData>(std::vector<std::string>{"userCache"},
                                                   [&](std::vector<ItemGroupPtr> groups) {
                                                     answer.set_value(groups.empty() ? 0 : groups.front()->count());
                                                   });
    return answer.get_future().get();
  };
  once();  // connects, and warms the allocator up
  for (auto _ : state) {
    if (once() != kResultItems) state.SkipWithError("the result did not come back whole");
  }
  connection->invalidate();
  services().scanResults->groups.clear();
}

void BM_MillionItemFrameSize(benchmark::State& state) {
  const std::vector<ItemGroupPtr> groups{makeScanResult(1000000)};
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto archive = RecordArchive::archivedGroups(groups);
    bytes = archive ? archive->size() : 0;
  }
  state.counters["frameBytes"] = static_cast<double>(bytes);
  state.counters["capBytes"] = static_cast<double>(XPCConnection::kMaxFrameBytes);
}

}  // namespace

BENCHMARK(BM_PlainSocketEchoRoundTrip)->UseRealTime();
BENCHMARK(BM_ServiceEchoRoundTrip)->UseRealTime();
BENCHMARK(BM_ScanReplyFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanReplyThroughService)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MillionItemFrameSize)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
