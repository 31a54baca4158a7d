// The older duplicate finder beside the duplicates scan of the operations,
// at one and at eight reading threads, on the seeded tree of
// DuplicatesTree.h (without its big sparse files) under a temporary root's
// "/Users/bench/Documents". The sets of the three are checked equal first
// (sorted path lists); five interleaved repetitions, ratios of medians.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "DuplicatesTree.h"
#include "MedianRatios.h"
#include "cleaners/DuplicateSanitizer.h"
#include "cleaners/DuplicatesScanningOperation.h"
#include "common/DuplicateItem.h"
#include "support/TempRoot.h"

namespace {

using namespace vozi;
using Sets = std::vector<std::vector<std::string>>;

test::TempRoot* root = nullptr;

std::string documents() { return *root / "/Users/bench/Documents"; }

Sets older() {
  DuplicateSanitizer finder(std::vector<std::string>{documents()});
  platform::DispatchWorkItem work;
  Sets sets;
  for (const ModelDuplicate& set : finder.findDuplicates(work).second) {
    std::vector<std::string> members;
    for (const ModelFile& file : set.dups()) members.push_back(file.fileURL().path());
    std::sort(members.begin(), members.end());
    sets.push_back(std::move(members));
  }
  std::sort(sets.begin(), sets.end());
  return sets;
}

Sets newer(unsigned threads) {
  auto group = std::static_pointer_cast<DuplicatesGroup>(ItemGroup::group(ItemGroupName::duplicates));
  group->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(documents(), true)});
  auto operation = std::make_shared<DuplicatesScanningOperation>(group, nullptr, nullptr);
  operation->setReadingThreads(threads);
  operation->main();
  return bench::sortedSets(*group);
}

void BM_Older(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(older());
}
void BM_Newer1(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(newer(1));
}
void BM_Newer8(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(newer(8));
}

BENCHMARK(BM_Older)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Newer1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Newer8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  if (!bench::initializeInterleaved(argc, argv)) return 1;
  test::TempRoot temporary;
  root = &temporary;
  if (!bench::makeDuplicatesTree(temporary.path(), false)) {
    std::fprintf(stderr, "could not make the tree under %s\n", temporary.path().c_str());
    return 1;
  }
  const Sets expected = newer(8);
  if (older() != expected || newer(1) != expected) {
    std::fprintf(stderr, "the older finder and the scan found other sets (%zu expected)\n", expected.size());
    return 1;
  }
  std::printf("checked: %zu sets found alike\n", expected.size());
  bench::MedianRatioReporter reporter({{"BM_Older", "BM_Newer1", "<= 2.5"}, {"BM_Older", "BM_Newer8", "reported"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
