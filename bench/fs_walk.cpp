// Walking and sizing a large tree, beside find(1) and du(1) on the same tree.
//
// The tree (200,000 files in 20,000 folders, sparse files of assorted
// lengths) is made once in a temporary folder and removed at the end. The
// reference tools run as child processes with fixed arguments; find's
// output lines are counted as they arrive.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "common/FileManager.h"
#include "platform/Task.h"

namespace {

constexpr int kTopFolders = 200;
constexpr int kSubfoldersEach = 99;  // 200 + 200 * 99 = 20,000 folders
constexpr int kFilesPerFolder = 10;  // 200,000 files

std::string treeRoot;
std::uint64_t expectedItems = 0;

bool makeFiles(const std::string& folder, int& counter) {
  for (int i = 0; i < kFilesPerFolder; ++i) {
    const std::string path = folder + "/file" + std::to_string(i) + ".dat";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const off_t length = (counter++ * 7919) % 65536;
    const bool sized = ::ftruncate(fd, length) == 0;
    ::close(fd);
    if (!sized) return false;
  }
  return true;
}

bool makeTree() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vozi-bench-walk-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return false;
  treeRoot = pattern;
  int counter = 0;
  for (int top = 0; top < kTopFolders; ++top) {
    const std::string folder = treeRoot + "/top" + std::to_string(top);
    if (::mkdir(folder.c_str(), 0755) != 0 || !makeFiles(folder, counter)) return false;
    for (int sub = 0; sub < kSubfoldersEach; ++sub) {
      const std::string child = folder + "/sub" + std::to_string(sub);
      if (::mkdir(child.c_str(), 0755) != 0 || !makeFiles(child, counter)) return false;
    }
  }
  expectedItems = kTopFolders * (1 + kSubfoldersEach) * (1 + kFilesPerFolder);
  return true;
}

void BM_Enumerate(benchmark::State& state) {
  const vozi::FileManager& fm = vozi::FileManager::defaultManager();
  std::uint64_t items = 0;
  for (auto _ : state) {
    items = 0;
    std::uint64_t bytes = 0;
    fm.enumerate({treeRoot}, vozi::FileManager::Keys::FileSize, vozi::FileManager::Options::None,
                 [&](const std::string&, const std::optional<vozi::platform::ResourceValues>& values) {
                   ++items;
                   if (values && values->fileSize) bytes += *values->fileSize;
                 });
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["items"] = static_cast<double>(items);
  if (items != expectedItems) state.SkipWithError("wrong number of items");
}

void BM_EnumerateSteerable(benchmark::State& state) {
  const vozi::FileManager& fm = vozi::FileManager::defaultManager();
  std::uint64_t items = 0;
  for (auto _ : state) {
    items = 0;
    fm.enumerate(
        {treeRoot}, vozi::FileManager::Keys::FileSize, vozi::FileManager::Options::SkipsPackageDescendants,
        [&](const std::string&, const std::optional<vozi::platform::ResourceValues>&) { ++items; },
        [](const std::string&) { return vozi::FileManagerEnumerationAction::continueEnumeration; }, {},
        [] { return false; });
  }
  state.counters["items"] = static_cast<double>(items);
  if (items != expectedItems) state.SkipWithError("wrong number of items");
}

void BM_DirectorySize(benchmark::State& state) {
  std::uint64_t size = 0;
  for (auto _ : state) size = vozi::FileManager::directorySize(treeRoot);
  state.counters["bytes"] = static_cast<double>(size);
}

void BM_Find(benchmark::State& state) {
  std::uint64_t lines = 0;
  for (auto _ : state) {
    lines = 0;
    vozi::platform::Task task("/usr/bin/find", {treeRoot, "-printf", "%s\n"});
    task.setStandardOutputHandler([&](std::string_view chunk) {
      for (char c : chunk) lines += c == '\n';
    });
    if (!task.run().succeeded()) state.SkipWithError("find failed");
  }
  state.counters["items"] = static_cast<double>(lines - 1);  // find lists the root too
}

void BM_Du(benchmark::State& state) {
  for (auto _ : state) {
    const auto result = vozi::platform::Task::run("/usr/bin/du", {"-sb", treeRoot});
    if (!result.succeeded()) state.SkipWithError("du failed");
  }
}

BENCHMARK(BM_Enumerate)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_EnumerateSteerable)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_DirectorySize)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_Du)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Prints the usual table, then how our walks compare with the tools.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (!run.error_occurred) {
        const std::string name = run.benchmark_name();
        times_[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto ratio = [this](const char* ours, const char* theirs) {
      auto a = times_.find(ours), b = times_.find(theirs);
      if (a == times_.end() || b == times_.end() || b->second <= 0) return;
      std::printf("%-40s %.2fx\n", (std::string(ours) + " / " + theirs).c_str(), a->second / b->second);
    };
    ratio("BM_Enumerate", "BM_Find");
    ratio("BM_EnumerateSteerable", "BM_Find");
    ratio("BM_DirectorySize", "BM_Du");
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const bool made = makeTree();
  if (made) {
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
  } else {
    std::fprintf(stderr, "could not make the tree under %s\n", treeRoot.c_str());
  }
  if (!treeRoot.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(treeRoot, ignored);
  }
  benchmark::Shutdown();
  return made ? 0 : 1;
}
