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
#include "common/IFileItem.h"
#include "common/ItemGroup.h"
#include "platform/HostRoot.h"

namespace {

using namespace vozi;

constexpr int kFolders = 2000;
constexpr int kFiles = 50000;
constexpr int kSets = 2000;

bool writeFile(const std::string& path, const std::vector<char>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) break;
    done += static_cast<std::size_t>(wrote);
  }
  ::close(fd);
  return done == bytes.size();
}

// A sparse file of `size` bytes with `head` at the start and `tail` at the end.
bool sparseFile(const std::string& path, std::uint64_t size, const std::string& head, const std::string& tail) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  if (!head.empty()) ok = ok && ::pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size());
  if (!tail.empty())
    ok = ok && ::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(size - tail.size())) ==
                   static_cast<ssize_t>(tail.size());
  ::close(fd);
  return ok;
}

int make(const std::string& root) {
  const std::string docs = root + "/Users/bench/Documents";
  for (const std::string& folder : {root + "/Users", root + "/Users/bench", docs}) ::mkdir(folder.c_str(), 0755);
  std::mt19937_64 random(20261211);
  auto bytes = [&](std::size_t size) {
    std::vector<char> data(size);
    for (std::size_t i = 0; i < size; i += 8) {
      const std::uint64_t value = random();
      std::memcpy(data.data() + i, &value, std::min<std::size_t>(8, size - i));
    }
    return data;
  };
  std::vector<std::string> folders;
  for (int i = 0; i < kFolders; ++i) {
    folders.push_back(docs + "/folder" + std::to_string(i / 50) + "/sub" + std::to_string(i));
    ::mkdir((docs + "/folder" + std::to_string(i / 50)).c_str(), 0755);
    ::mkdir(folders.back().c_str(), 0755);
  }
  for (int i = 0; i < kFiles; ++i) {
    const std::size_t size = 1 + random() % (64 * 1024);
    if (!writeFile(folders[i % kFolders] + "/file" + std::to_string(i) + ".dat", bytes(size))) return 1;
  }
  for (int set = 0; set < kSets; ++set) {
    const std::size_t size = 1 + random() % (512 * 1024);
    std::vector<char> content = bytes(size);
    const int copies = 2 + static_cast<int>(random() % 3);
    for (int copy = 0; copy < copies; ++copy) {
      const std::string& folder = folders[(set * 7 + copy * 131) % kFolders];
      if (!writeFile(folder + "/set" + std::to_string(set) + "-copy" + std::to_string(copy) + ".bin", content)) return 1;
    }
    content.back() = static_cast<char>(content.back() ^ 0x5a);
    if (!writeFile(folders[(set * 7 + 977) % kFolders] + "/set" + std::to_string(set) + "-decoy.bin", content)) return 1;
  }
  const std::string big = docs + "/big";
  ::mkdir(big.c_str(), 0755);
  for (int i = 0; i < 8; ++i) {
    if (!sparseFile(big + "/first-block-" + std::to_string(i) + ".img", 1ull << 30, std::string(4096, char('a' + i)), ""))
      return 1;
  }
  if (!sparseFile(big + "/last-byte-a.img", 1ull << 30, "", "a") ||
      !sparseFile(big + "/last-byte-b.img", 1ull << 30, "", "b") ||
      !sparseFile(big + "/pair-1.img", 256ull << 20, "same", "same") ||
      !sparseFile(big + "/pair-2.img", 256ull << 20, "same", "same"))
    return 1;
  return 0;
}

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
  std::vector<std::vector<std::string>> sets;
  group->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    std::vector<std::string> members;
    static_cast<const ItemGroup&>(*item).enumerateObjects([&](const ModelItemPtr& member, const ModelItemKey&, bool&) {
      members.push_back(dynamic_cast<const IFileItem&>(*member).path());
    });
    std::sort(members.begin(), members.end());
    sets.push_back(std::move(members));
  });
  std::sort(sets.begin(), sets.end());
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
