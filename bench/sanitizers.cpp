// The file-system scan and clean beside find(1) and rm(1) on the same tree.
//
// A tree of 100,000 files (assorted lengths, no blocks) in 10,000 folders
// is made once under a temporary host root. Each round times, one after the
// other: our scan at user-initiated quality of service with progress on,
// then `find <tree> -printf '%s\n'`; our clean of a scanned fresh copy, then
// `rm -rf` of another fresh copy (the copies are made untimed, with cp -a).
// The reported ratios are of the medians over the rounds. A last run times
// the scan at background quality of service over 10,000 entries.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "common/BigFilesGroup.h"
#include "platform/OperationQueue.h"
#include "platform/Task.h"
#include "sanitizers/FileSystemCleaningOperation.h"
#include "sanitizers/FileSystemScanningOperation.h"
#include "support/TempRoot.h"

namespace {

using Clock = std::chrono::steady_clock;
using vozi::BigFilesGroup;

constexpr int kRounds = 5;

bool makeTree(const std::string& root, int topFolders, int subfoldersEach, int filesPerFolder) {
  if (::mkdir(root.c_str(), 0755) != 0) return false;
  int counter = 0;
  auto makeFiles = [&](const std::string& folder) {
    for (int i = 0; i < filesPerFolder; ++i) {
      const std::string path = folder + "/file" + std::to_string(i) + ".dat";
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) return false;
      const bool sized = ::ftruncate(fd, 1 + (counter++ * 7919) % 65536) == 0;
      ::close(fd);
      if (!sized) return false;
    }
    return true;
  };
  for (int top = 0; top < topFolders; ++top) {
    const std::string folder = root + "/top" + std::to_string(top);
    if (::mkdir(folder.c_str(), 0755) != 0 || !makeFiles(folder)) return false;
    for (int sub = 0; sub < subfoldersEach; ++sub) {
      const std::string child = folder + "/sub" + std::to_string(sub);
      if (::mkdir(child.c_str(), 0755) != 0 || !makeFiles(child)) return false;
    }
  }
  return true;
}

std::shared_ptr<BigFilesGroup> groupOf(const std::string& root) {
  auto group = std::static_pointer_cast<BigFilesGroup>(vozi::ItemGroup::group(vozi::ItemGroupName::bigFiles));
  group->setMinFileSizeToScan(0);
  group->setMinLastAccessDate(std::nullopt);
  group->setScanningURLs(std::vector<vozi::platform::URL>{vozi::platform::URL::fileURLWithPath(root, true)});
  return group;
}

// Scans root at the given quality of service with progress on; answers the
// seconds taken and the group.
double scan(vozi::platform::OperationQueue& queue, const std::string& root, vozi::platform::QualityOfService qos,
            std::shared_ptr<BigFilesGroup>* result = nullptr) {
  auto group = groupOf(root);
  auto operation = std::make_shared<vozi::FileSystemScanningOperation<BigFilesGroup, vozi::FileItem>>(
      group, nullptr, [](std::uint64_t, std::uint64_t) {});
  operation->setQualityOfService(qos);
  const auto start = Clock::now();
  queue.addOperation(operation);
  operation->waitUntilFinished();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (result != nullptr) *result = group;
  return seconds;
}

double timeTask(const std::string& tool, const std::vector<std::string>& arguments) {
  vozi::platform::Task task(tool, arguments);
  task.setStandardOutputHandler([](std::string_view) {});
  const auto start = Clock::now();
  const bool ok = task.run().succeeded();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return ok ? seconds : -1;
}

bool copyTree(const std::string& from, const std::string& to) {
  return vozi::platform::Task::run("/bin/cp", {"-a", from, to}).succeeded();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void BM_ScanAndCleanRatios(benchmark::State& state) {
  vozi::test::TempRoot root;
  const std::string tree = root / "/tree";
  const std::string small = root / "/small";
  // 100 + 100 * 99 = 10,000 folders of 10 files; 1,000 folders of 9 files.
  if (!makeTree(tree, 100, 99, 10) || !makeTree(small, 1000, 0, 9)) {
    state.SkipWithError("cannot make the tree");
    return;
  }
  vozi::platform::OperationQueue queue("bench");
  std::vector<double> scans, finds, cleans, removals;
  std::uint64_t files = 0;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      scans.push_back(scan(queue, tree, vozi::platform::QualityOfService::userInitiated));
      finds.push_back(timeTask("/usr/bin/find", {tree, "-printf", "%s\n"}));

      const std::string ours = root / ("/copy-ours-" + std::to_string(round));
      const std::string theirs = root / ("/copy-rm-" + std::to_string(round));
      if (!copyTree(tree, ours) || !copyTree(tree, theirs)) {
        state.SkipWithError("cannot copy the tree");
        return;
      }
      std::shared_ptr<BigFilesGroup> group;
      scan(queue, ours, vozi::platform::QualityOfService::userInitiated, &group);
      auto scope = std::make_shared<vozi::CleaningScope>();
      scope->roots = {ours};
      group->enumerateLeaves([&scope](const vozi::ModelItemPtr& item, bool&) {
        scope->storedPaths.insert(dynamic_cast<const vozi::FileItem&>(*item).path());
      });
      files = scope->storedPaths.size();
      auto clean = std::make_shared<vozi::FileSystemCleaningOperation<BigFilesGroup>>(
          group, nullptr, [](std::uint64_t, std::uint64_t) {}, vozi::SanitizerEnvironment{nullptr, nullptr, scope});
      clean->setQualityOfService(vozi::platform::QualityOfService::userInitiated);
      const auto start = Clock::now();
      queue.addOperation(clean);
      clean->waitUntilFinished();
      cleans.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      removals.push_back(timeTask("/bin/rm", {"-rf", theirs}));
      vozi::platform::Task::run("/bin/rm", {"-rf", ours});
    }
  }
  const double background = scan(queue, small, vozi::platform::QualityOfService::background);
  state.counters["files"] = static_cast<double>(files);
  state.counters["scan_s"] = median(scans);
  state.counters["find_s"] = median(finds);
  state.counters["scan_ratio_find"] = median(scans) / median(finds);
  state.counters["clean_s"] = median(cleans);
  state.counters["rm_s"] = median(removals);
  state.counters["clean_ratio_rm"] = median(cleans) / median(removals);
  state.counters["background_entries_per_s"] = 10000 / background;
}
BENCHMARK(BM_ScanAndCleanRatios)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
