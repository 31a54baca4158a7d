// platform::Sha256::digestOfFile over every regular file of a tree, on one
// thread, warm: prints the bytes digested per second, to set beside
// `openssl speed -evp sha256 -bytes 16384` (bench/duplicates.sh does).
//
//   bench_file_digest FOLDER

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/DirectoryWalker.h"
#include "platform/ResourceValues.h"
#include "platform/Sha256.h"

int main(int argc, char** argv) {
  using namespace vozi::platform;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  std::vector<std::string> files;
  std::uint64_t bytes = 0;
  DirectoryWalker::walk(argv[1], DirectoryEnumerationOptions::None, [&](const DirectoryWalker::Entry& entry) {
    if (!entry.isRegularFile()) return WalkAction::Continue;
    const auto values = entry.resourceValues(ResourceKeys::FileSize);
    // The sparse images are left out: reading holes is no disk and no cache.
    if (values && values->fileSize && *values->fileSize < (64ull << 20)) {
      files.push_back(entry.path());
      bytes += *values->fileSize;
    }
    return WalkAction::Continue;
  });
  for (const auto& file : files) Sha256::digestOfFile(file);  // warm
  const auto start = std::chrono::steady_clock::now();
  for (const auto& file : files) Sha256::digestOfFile(file);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.0f\n", static_cast<double>(bytes) / seconds / 1000.0);  // kB/s, as openssl prints
  return 0;
}
