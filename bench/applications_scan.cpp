// The applications scan beside a plain walk of the same folders.
//
// Under a temporary host root: 200 application bundles in "/Applications"
// and 50,000 files over the 14 Library folders where leftovers are looked
// for, one in ten named after an application's bundle identifier, the rest
// after other dotted names. The user's Library comes from an agent-link
// double.
//
//   ApplicationsScan              the scan, no progress handler
//   ApplicationsScanWithProgress  the scan with one (the entries are counted first)
//   PlainWalk                     FileManager::enumerate of the same 15 folders with
//                                 the same options, reading what the scan reads
//                                 (size and dates of every file)
//
// Run with --benchmark_repetitions=5 --benchmark_enable_random_interleaving
// and compare the medians.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/ApplicationsGroup.h"
#include "common/FileManager.h"
#include "common/ItemGroup.h"
#include "sanitizers/ApplicationsScanningOperation.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

namespace {

using namespace vozi;

constexpr int kApplications = 200;
constexpr int kEntries = 50000;
constexpr const char* kUser = "bench";
const char* const kLeftoverFolders[] = {"Application Support", "Preferences",  "LaunchAgents",
                                        "LaunchDaemons",       "PreferencePanes", "StartupItems",
                                        "Saved Application State"};

struct Fixture {
  test::TempRoot root;
  test::MacTree tree{root};
  std::shared_ptr<test::FakeUserAgentLink> link;
  std::vector<std::string> folders;

  Fixture() {
    tree.addUser(kUser);
    const std::string library = test::MacTree::libraryOf(kUser);
    link = std::make_shared<test::FakeUserAgentLink>(tree.host(library + "/Caches"), tree.host(library));
    for (int i = 0; i < kApplications; ++i)
      tree.addApplication("App" + std::to_string(i), "com.vendor" + std::to_string(i % 17) + ".app" + std::to_string(i));
    std::vector<std::string> leftoverRoots;
    for (const char* folder : kLeftoverFolders) {
      leftoverRoots.push_back(std::string("/Library/") + folder);
      leftoverRoots.push_back(library + "/" + folder);
    }
    for (int i = 0; i < kEntries; ++i) {
      const std::string& base = leftoverRoots[i % leftoverRoots.size()];
      const int application = i % kApplications;
      const std::string name =
          i % 10 == 0 ? "com.vendor" + std::to_string(application % 17) + ".app" + std::to_string(application) + ".item" + std::to_string(i)
                      : "org.other" + std::to_string(i % 997) + ".thing" + std::to_string(i);
      tree.addFile(base + "/group" + std::to_string(i / 700) + "/" + name, 10 + i % 100);
    }
    folders.push_back(tree.host("/Applications"));
    for (const char* folder : kLeftoverFolders) {
      folders.push_back(tree.host(std::string("/Library/") + folder));
      folders.push_back(tree.host(library + "/" + folder));
    }
  }
};

Fixture& fixture() {
  static Fixture shared;
  return shared;
}

void scan(benchmark::State& state, bool withProgress) {
  Fixture& f = fixture();
  std::uint64_t leftovers = 0;
  for (auto _ : state) {
    auto group = std::static_pointer_cast<ApplicationsGroup>(ItemGroup::group(ItemGroupName::applications));
    BaseSanitizerOperation<ApplicationsGroup>::ProgressHandler progress;
    if (withProgress) progress = [](std::uint64_t, std::uint64_t) {};
    auto operation = std::make_shared<ApplicationsScanningOperation>(group, nullptr, progress, f.link);
    operation->main();
    if (group->count() != kApplications) state.SkipWithError("not every application was listed");
    leftovers = 0;
    group->enumerateLeaves([&leftovers](const ModelItemPtr&, bool&) { ++leftovers; });
  }
  state.counters["leftovers"] = static_cast<double>(leftovers);
}

void BM_ApplicationsScan(benchmark::State& state) { scan(state, false); }
void BM_ApplicationsScanWithProgress(benchmark::State& state) { scan(state, true); }

void BM_PlainWalk(benchmark::State& state) {
  Fixture& f = fixture();
  const FileManager fileManager;
  const auto keys = platform::ResourceKeys::FileSize | platform::ResourceKeys::ContentAccessDate |
                    platform::ResourceKeys::AddedToDirectoryDate | platform::ResourceKeys::CreationDate;
  std::uint64_t entries = 0;
  for (auto _ : state) {
    entries = 0;
    fileManager.enumerate(
        f.folders, keys, FileManager::Options::SkipsPackageDescendants,
        [&entries](const std::string&, const std::optional<platform::ResourceValues>&) { ++entries; },
        [](const std::string&) { return FileManagerEnumerationAction::continueEnumeration; });
  }
  state.counters["entries"] = static_cast<double>(entries);
}

BENCHMARK(BM_ApplicationsScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplicationsScanWithProgress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWalk)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
