// Archiving and unarchiving a scan result of 100,000 file items, the size of
// a large caches scan sent to the interface.

#include <benchmark/benchmark.h>

#include "common/FileItem.h"
#include "common/ItemGroup.h"
#include "common/ModelItemArray.h"
#include "common/RecordArchive.h"

using namespace vozi;

namespace {

constexpr std::size_t kItems = 100000;

ItemGroupPtr makeScanResult() {
  auto group = ItemGroup::group(ItemGroupName::userCache);
  auto items = std::make_shared<ModelItemArray>();
  items->reserve(kItems);
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < kItems; ++i) {
    const std::string path = "/Users/bob/Library/Caches/com.example.app" + std::to_string(i % 97) + "/Cache Data/f_" +
                             std::to_string(i) + ".cache";
    const std::uint64_t size = 4096 + i * 17;
    total += size;
    items->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), size,
                                              platform::Date(700000000.0 + static_cast<double>(i))));
  }
  group->setItems(items);
  group->setSize(total);
  group->updateScanningHistory();
  return group;
}

void BM_ArchiveScanResult(benchmark::State& state) {
  const auto groups = std::vector<ItemGroupPtr>{makeScanResult()};
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
  auto archive = RecordArchive::archivedGroups({makeScanResult()});
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
