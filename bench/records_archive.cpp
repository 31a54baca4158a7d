// Archiving and unarchiving a scan result of 100,000 file items, the size of
// a large caches scan sent to the interface.
//
// Reading is measured twice side by side: the keyed unarchiver reading the
// binary archive straight from our own reader, and the earlier path (libplist
// builds a node tree, copied into Values, then decoded; LegacyPlistReader.h).
// Before the timed runs, each read runs once in its own child process, which
// reports the growth of its peak resident memory and its time, so the memory
// figures of one variant do not carry over into the other's.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "LegacyPlistReader.h"
#include "ScanResultFixture.h"
#include "common/RecordArchive.h"

using namespace vozi;

namespace {

using bench::makeScanResult;

constexpr std::size_t kItems = 100000;

const platform::Data& scanArchive() {
  static const platform::Data archive = [] {
    auto bytes = RecordArchive::archivedGroups({makeScanResult(kItems)});
    return bytes ? *bytes : platform::Data{};
  }();
  return archive;
}

// The current read: binary objects fetched as the decoder asks.
bool readCurrent(const platform::Data& archive) {
  auto groups = RecordArchive::unarchivedGroups(archive);
  return groups && groups->front()->count() == kItems;
}

// The earlier read: the whole archive as a libplist tree, copied into Values,
// then decoded from the Values.
bool readLegacy(const platform::Data& archive) {
  RecordArchive::registerClasses();
  auto plist = bench::legacy::fromBinary(archive);
  if (!plist) return false;
  platform::KeyedUnarchiver unarchiver(std::move(*plist), archive.size());
  unarchiver.setAllowedClassesForGraph(RecordArchive::itemTreeClasses());
  auto groups = unarchiver.decodeArrayForKey<ItemGroup>("root", RecordArchive::itemTreeClasses());
  return !unarchiver.error() && groups && groups->front()->count() == kItems;
}

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

void unarchive(benchmark::State& state, bool (*read)(const platform::Data&)) {
  const platform::Data& archive = scanArchive();
  for (auto _ : state) {
    if (!read(archive)) state.SkipWithError("the scan result did not come back whole");
  }
  state.counters["items"] = static_cast<double>(kItems);
  state.counters["archiveBytes"] = static_cast<double>(archive.size());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kItems));
}

void BM_UnarchiveScanResult(benchmark::State& state) { unarchive(state, readCurrent); }
void BM_UnarchiveScanResultLegacy(benchmark::State& state) { unarchive(state, readLegacy); }

// A figure in kB from /proc/self/status ("VmRSS", "VmHWM").
long statusKB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return -1;
}

struct Measured {
  double seconds = -1;
  double peakGrowthMB = -1;
};

// Runs one read in a child process: the memory the parent freed is handed
// back first (else the read would reuse it unseen) and the peak resident
// size is reset (clear_refs 5), so the growth reported is the read's own.
Measured measureInChild(bool (*read)(const platform::Data&), const platform::Data& archive) {
  int channel[2];
  if (::pipe(channel) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKB("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    const bool ok = read(archive);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Measured out{ok ? seconds : -1, static_cast<double>(statusKB("VmHWM") - before) / 1024.0};
    [[maybe_unused]] auto written = ::write(channel[1], &out, sizeof out);
    ::_exit(0);
  }
  ::close(channel[1]);
  Measured out;
  [[maybe_unused]] auto got = ::read(channel[0], &out, sizeof out);
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return out;
}

void compareReads() {
  const platform::Data& archive = scanArchive();
  const double archiveMB = static_cast<double>(archive.size()) / (1024.0 * 1024.0);
  const Measured legacy = measureInChild(readLegacy, archive);
  const Measured current = measureInChild(readCurrent, archive);
  std::printf("Reading a %zu-item scan result archive of %.1f MB, each read in its own process:\n", kItems, archiveMB);
  std::printf("  libplist tree, then Values:   %.3f s, peak growth %.0f MB (%.1fx the archive)\n", legacy.seconds,
              legacy.peakGrowthMB, legacy.peakGrowthMB / archiveMB);
  std::printf("  own reader, objects on demand: %.3f s, peak growth %.0f MB (%.1fx the archive)\n", current.seconds,
              current.peakGrowthMB, current.peakGrowthMB / archiveMB);
  std::printf("  ratio new/old: time %.2f, peak memory %.2f\n\n", current.seconds / legacy.seconds,
              current.peakGrowthMB / legacy.peakGrowthMB);
  std::fflush(stdout);
}

}  // namespace

BENCHMARK(BM_ArchiveScanResult)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnarchiveScanResult)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnarchiveScanResultLegacy)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  compareReads();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
