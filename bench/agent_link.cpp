// The agent link's blocking ask beside the bare call it is made of.
//
// An in-process stand-in agent serves bob under a temporary host root. Each
// round times, one after the other, a batch of libraryDirectory() asks
// through the manager (queue hops, the reply's wait, the answer's checks:
// canonical text, two folders opened from the root, owners) and a batch of
// the same retrieveLibraryDirectory: call sent straight on the agent's proxy
// and waited for. The reported ratio is of the medians over the rounds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "agent/UserAgentStandIn.h"
#include "ipc/UserAgentManger.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 7;
constexpr int kAsksPerRound = 2000;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void BM_AgentAskRatio(benchmark::State& state) {
  vozi::test::TempRoot root;
  vozi::test::MacTree tree(root);
  tree.addUser("bob");
  auto manager = vozi::UserAgentManger::make();
  if (!manager->startListening()) {
    state.SkipWithError("cannot listen");
    return;
  }
  auto agent = vozi::agent::UserAgentStandIn::make("bob", nullptr);
  agent->start();
  for (int i = 0; i < 6000 && !manager->userAgent(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto proxy = manager->userAgent();
  if (!proxy || !manager->libraryDirectory()) {
    state.SkipWithError("no agent");
    return;
  }

  std::vector<double> asks;
  std::vector<double> bare;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      auto start = Clock::now();
      for (int i = 0; i < kAsksPerRound; ++i) benchmark::DoNotOptimize(manager->libraryDirectory());
      asks.push_back(std::chrono::duration<double>(Clock::now() - start).count());

      start = Clock::now();
      for (int i = 0; i < kAsksPerRound; ++i) {
        std::promise<std::optional<vozi::platform::URL>> answer;
        proxy->call<&vozi::UserAgent::retrieveLibraryDirectory>(
            [&answer](std::optional<vozi::platform::URL> url) { answer.set_value(std::move(url)); });
        benchmark::DoNotOptimize(answer.get_future().get());
      }
      bare.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
  }
  state.counters["asks_per_s"] = kAsksPerRound / median(asks);
  state.counters["bare_calls_per_s"] = kAsksPerRound / median(bare);
  state.counters["ask_ratio_bare"] = median(asks) / median(bare);
  agent->stop();
  manager->stopListening();
}
BENCHMARK(BM_AgentAskRatio)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
