// The parallel folder scanner and the big-files searches, beside find(1) and
// du(1) on the same tree of 300,000 entries: about 270,000 files in 30,000
// folders, some links and hidden files, no package, and 200 sparse files of
// known kinds above 52,428,800 bytes whose access and modification dates lie
// 10 or 60 days back.
//
// Before timing, the run checks the answers: the scanner's progress equals
// find's count of entries, the root's size the sum of find's file sizes, the
// trees of 1 and 8 threads are equal node for node, and both big-files
// searches find exactly what `find -size +50M -atime +30` finds. Any
// difference fails the run.
//
// Runs five repetitions, interleaved, and prints the ratios of the medians.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "MedianRatios.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "cleaners/BigFilesDefaultSearchOperation.h"
#include "cleaners/BigFilesGroupSanitizer.h"
#include "cleaners/FileSystemScanner.h"
#include "cleaners/ModelFile.h"
#include "platform/Date.h"
#include "platform/OperationQueue.h"
#include "platform/Task.h"
#include "support/TempRoot.h"

namespace {

using namespace vozi;

constexpr int kTopFolders = 300;
constexpr int kSubfoldersEach = 99;  // 300 + 300 * 99 = 30,000 folders
constexpr int kFilesPerFolder = 9;   // 270,000 files
constexpr int kBigFiles = 200;
constexpr std::uint64_t kMinSize = 52'428'800;

test::TempRoot* root = nullptr;
std::string tree;  // the host path of the tree

std::string run(const std::string& tool, const std::vector<std::string>& arguments) {
  std::string out;
  platform::Task task(tool, arguments);
  task.setStandardOutputHandler([&out](std::string_view chunk) { out.append(chunk); });
  if (!task.run().succeeded()) return {};
  return out;
}

bool setDates(const std::string& path, double secondsAgo) {
  const double when = platform::Date::now().timeIntervalSince1970() - secondsAgo;
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(when);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool makeFile(const std::string& path, off_t length) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool sized = ::ftruncate(fd, length) == 0;
  ::close(fd);
  return sized;
}

bool makeTree() {
  tree = *root / "/Users/bench/Tree";
  if (!std::filesystem::create_directories(tree)) return false;
  int counter = 0;
  const char* kinds[] = {"mov", "mp3", "jpg", "zip", "pdf"};
  for (int top = 0; top < kTopFolders; ++top) {
    const std::string folder = tree + "/top" + std::to_string(top);
    for (int sub = -1; sub < kSubfoldersEach; ++sub) {
      const std::string at = sub < 0 ? folder : folder + "/sub" + std::to_string(sub);
      if (::mkdir(at.c_str(), 0755) != 0) return false;
      for (int file = 0; file < kFilesPerFolder; ++file) {
        const int n = counter++;
        std::string name = (file == 0 ? ".hidden" : "file") + std::to_string(file) + ".dat";
        off_t length = (n * 7919) % 65536;
        constexpr int kBigEvery = kTopFolders * (kSubfoldersEach + 1) * kFilesPerFolder / kBigFiles;
        const bool big = n % kBigEvery == 5;
        // Half the big files were last used 60 days back, half 10.
        bool old = (n / 7) % 2 == 0;
        if (big) {
          old = (n / kBigEvery) % 2 == 0;
          name = "big" + std::to_string(n) + "." + kinds[n % 5];
          length = static_cast<off_t>(kMinSize + 1 + static_cast<std::uint64_t>(n % 1000) * 4096);
        }
        const std::string path = at + "/" + name;
        if (!makeFile(path, length)) return false;
        if (!setDates(path, (old ? 60 : 10) * 86400.0)) return false;
      }
      if (sub % 10 == 0 && ::symlink("file1.dat", (at + "/link").c_str()) != 0) return false;
    }
  }
  return true;
}

std::shared_ptr<FileSystemScanner> scanner(int threads) { return *FileSystemScanner::make(threads, 128); }

// --- Checks --------------------------------------------------------------------

std::string shape(const FileSystemScannerItem& node) {
  std::string out;
  std::function<void(const FileSystemScannerItem&, const std::string&)> add = [&](const FileSystemScannerItem& item,
                                                                               const std::string& at) {
    out += at + (item.isSymbolicLink ? "@" : item.isFolder ? "/" : "-") + std::to_string(item.size) + "\n";
    std::vector<std::pair<std::string, const FileSystemScannerItem*>> children;
    for (const auto* list : {&item.links, &item.files, &item.folders, &item.unknowns}) {
      if (*list) {
        for (const auto& child : **list) children.emplace_back(child->shortcut, child.get());
      }
    }
    std::sort(children.begin(), children.end());
    for (const auto& [name, child] : children) add(*child, at + "/" + name);
  };
  add(node, "");
  return out;
}

std::set<std::string> findBig() {
  std::set<std::string> found;
  std::istringstream lines(run("/usr/bin/find", {tree, "-type", "f", "-size", "+50M", "-atime", "+30"}));
  for (std::string line; std::getline(lines, line);) found.insert(line);
  return found;
}

std::set<std::string> bigFilesSearch() {
  std::set<std::string> found;
  BigFilesDefaultSearchOperation<ModelFile> search(
      platform::URL::fileURLWithPath(tree, true), kMinSize, platform::Date::now().addingTimeInterval(-30 * 86400.0),
      std::vector<ZOLMFileItemType>{ZOLMFileItemType::tracks, ZOLMFileItemType::movies, ZOLMFileItemType::photos,
                                    ZOLMFileItemType::archives, ZOLMFileItemType::documents},
      [&found](const auto& results, const auto&) {
        if (!results) return;
        for (const auto& [bucket, models] : *results) {
          for (const ModelFile& model : models) found.insert(model.fileURL().path());
        }
      },
      [](const platform::URL&, std::int64_t, std::int64_t) {});
  search.main();
  return found;
}

std::set<std::string> bigFilesScan() {
  auto group = std::static_pointer_cast<BigFilesGroup>(ItemGroup::group(ItemGroupName::bigFiles));
  group->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(tree, true)});
  group->setFileItemTypes(31);
  group->setMinFileSizeToScan(kMinSize + 1);
  group->setMinLastAccessDate(platform::Date::now().addingTimeInterval(-30 * 86400.0));
  BigFilesScanningOperation operation(group, nullptr, [](std::uint64_t, std::uint64_t) {}, nullptr);
  operation.main();
  std::set<std::string> found;
  group->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    if (const auto* file = dynamic_cast<const IFileItem*>(item.get())) found.insert(file->path());
  });
  return found;
}

bool checkAnswers() {
  bool good = true;
  const auto fail = [&good](const std::string& what) {
    std::fprintf(stderr, "check failed: %s\n", what.c_str());
    good = false;
  };
  std::uint64_t entries = 0;
  for (char c : run("/usr/bin/find", {tree, "-mindepth", "1"})) entries += c == '\n';
  std::int64_t bytes = 0;
  std::istringstream sizes(run("/usr/bin/find", {tree, "-type", "f", "-printf", "%s\n"}));
  for (std::string line; std::getline(sizes, line);) bytes += std::stoll(line);

  auto one = scanner(1);
  const auto oneTree = one->scan({platform::URL::fileURLWithPath(tree, true)});
  auto eight = scanner(8);
  const auto eightTree = eight->scan({platform::URL::fileURLWithPath(tree, true)});
  if (one->progress() != static_cast<std::int64_t>(entries) || eight->progress() != one->progress())
    fail("progress " + std::to_string(one->progress()) + " against find's " + std::to_string(entries));
  if (oneTree.front()->size != bytes) fail("size " + std::to_string(oneTree.front()->size) + " against " + std::to_string(bytes));
  if (shape(*oneTree.front()) != shape(*eightTree.front())) fail("1 and 8 threads built different trees");

  const auto expected = findBig();
  if (expected.size() != kBigFiles / 2) fail("find found " + std::to_string(expected.size()) + " big old files");
  if (bigFilesSearch() != expected) fail("the big-files search found other files than find");
  if (bigFilesScan() != expected) fail("the big-files scan found other files than find");
  std::printf("checked: %llu entries, %lld bytes, %zu big old files\n", static_cast<unsigned long long>(entries),
              static_cast<long long>(bytes), expected.size());
  return good;
}

// --- Timings --------------------------------------------------------------------

void BM_Lister1(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(scanner(1)->scan({platform::URL::fileURLWithPath(tree, true)}));
}
void BM_Lister8(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(scanner(8)->scan({platform::URL::fileURLWithPath(tree, true)}));
}
void BM_Find(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(run("/usr/bin/find", {tree}));
}
void BM_Du(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(run("/usr/bin/du", {"-sb", tree}));
}
void BM_FindBig(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(findBig());
}
void BM_BigFilesSearch(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(bigFilesSearch());
}
void BM_BigFilesScan(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(bigFilesScan());
}

BENCHMARK(BM_Lister1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Lister8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Du)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FindBig)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_BigFilesSearch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_BigFilesScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!bench::initializeInterleaved(argc, argv)) return 1;
  test::TempRoot temporary;
  root = &temporary;
  if (!makeTree()) {
    std::fprintf(stderr, "could not make the tree under %s\n", temporary.path().c_str());
    return 1;
  }
  if (!checkAnswers()) return 1;
  bench::MedianRatioReporter reporter({{"BM_Lister8", "BM_Du", "<= 0.5"},
                                 {"BM_Lister1", "BM_Du", "<= 1.0"},
                                 {"BM_Lister8", "BM_Find", "reported"},
                                 {"BM_Lister1", "BM_Find", "reported"},
                                 {"BM_BigFilesSearch", "BM_FindBig", "<= 2"},
                                 {"BM_BigFilesScan", "BM_FindBig", "<= 2"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
