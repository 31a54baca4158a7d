// Archiving and unarchiving a scan result of 100,000 file items, the size of
// a large caches scan sent to the interface.

#include <benchmark/benchmark.h>

#include "ScanResultFixture.h"
#include "common/RecordArchive.h"

using namespace vozi;

namespace {

using bench::makeScanResult;

constexpr std::size_t kItems = 100000;

void BM_ArchiveScanResult(benchmark::State& state) {
  const auto groups = std::vector<ItemGroupPtr>{makeScanResult(kItems)};
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto archive = RecordArchive::archivedGroups(groups);
    if (!archive) state.SkipWithError(archive.error().localizedDescription().c_str());
    bytes = archive ? archive->size() : 0;
    benchmark::DoNotOptimize(archive);
  }
  state.counters["items"] = static_cast<double>(kItems);
  state.counters["archiveBytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kItems));
}

void BM_UnarchiveScanResult(benchmark::State& state) {
  auto archive = RecordArchive::archivedGroups({makeScanResult(kItems)});
  if (!archive) {
    state.SkipWithError(archive.error().localizedDescription().c_str());
    return;
  }
  for (auto _ : state) {
    auto groups = RecordArchive::unarchivedGroups(*archive);
    if (!groups || groups->front()->count() != kItems) state.SkipWithError("the scan result did not come back whole");
    benchmark::DoNotOptimize(groups);
  }
  state.counters["items"] = static_cast<double>(kItems);
  state.counters["archiveBytes"] = static_cast<double>(archive->size());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kItems));
}

}  // namespace

BENCHMARK(BM_ArchiveScanResult)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnarchiveScanResult)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
