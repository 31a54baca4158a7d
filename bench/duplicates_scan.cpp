// The duplicates scan on a seeded tree, for bench/duplicates.sh.
//
//   bench_duplicates_scan make ROOT   lays the tree out under ROOT/Users/bench/Documents
//   bench_duplicates_scan scan ROOT   scans it (progress on, as the daemon does), prints
//                                     each set as its sorted paths, one per line,
//                                     sets apart by a blank line, sets sorted, then
//                                     "maxrss_kb N" on stderr
//
// The tree: 50,000 files of 1 byte to 64 KiB in 2,000 folders; 2,000 sets of
// 2 to 4 copies (up to 512 KiB) in different folders, each with a decoy of
// the same size differing in its last byte; sparse files: eight of 1 GiB
// differing in their first block, two of 1 GiB equal but for the last byte,
// and an identical pair of 256 MiB. No empty files, hidden names or links.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cleaners/DuplicatesScanningOperation.h"
#include "common/DuplicateItem.h"
#include "common/ItemGroup.h"
#include "platform/HostRoot.h"

#include "DuplicatesTree.h"

namespace {

using namespace vozi;

int make(const std::string& root) { return bench::makeDuplicatesTree(root, true) ? 0 : 1; }

int scan(const std::string& root) {
  ::setenv("VOZI_ROOT", root.c_str(), 1);
  auto group = std::static_pointer_cast<DuplicatesGroup>(ItemGroup::group(ItemGroupName::duplicates));
  group->setScanningURLs(std::vector<platform::URL>{
      platform::URL::fileURLWithPath(platform::HostRoot::resolve("/Users/bench/Documents"), true)});
  auto operation = std::make_shared<DuplicatesScanningOperation>(group, nullptr, [](std::uint64_t, std::uint64_t) {});
  // The walk's count line goes to standard output: only the sets go there.
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ::dup2(null, STDOUT_FILENO);
  operation->main();
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  ::close(null);
  const auto sets = bench::sortedSets(*group);
  for (const auto& set : sets) {
    for (const auto& path : set) std::printf("%s\n", path.c_str());
    std::printf("\n");
  }
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr, "maxrss_kb %ld\n", usage.ru_maxrss);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s make|scan ROOT\n", argv[0]);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "make") return make(argv[2]);
  if (command == "scan") return scan(argv[2]);
  return 2;
}
