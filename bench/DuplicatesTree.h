#pragma once

// The seeded tree of the duplicates benchmarks: 50,000 files of 1 byte to
// 64 KiB in 2,000 folders; 2,000 sets of 2 to 4 copies (up to 512 KiB) in
// different folders, each with a decoy of the same size differing in its
// last byte; optionally sparse big files: eight of 1 GiB differing in their
// first block, two of 1 GiB equal but for the last byte, and an identical
// pair of 256 MiB. No empty files, hidden names or links.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/IFileItem.h"
#include "common/ItemGroup.h"

namespace vozi::bench {

constexpr int kFolders = 2000;
constexpr int kFiles = 50000;
constexpr int kSets = 2000;

inline bool writeFile(const std::string& path, const std::vector<char>& bytes) {
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
inline bool sparseFile(const std::string& path, std::uint64_t size, const std::string& head, const std::string& tail) {
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

// Lays the tree out under root + "/Users/bench/Documents"; the sparse big
// files only when asked. False when a file could not be written.
inline bool makeDuplicatesTree(const std::string& root, bool bigFiles) {
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
    if (!writeFile(folders[i % kFolders] + "/file" + std::to_string(i) + ".dat", bytes(size))) return false;
  }
  for (int set = 0; set < kSets; ++set) {
    const std::size_t size = 1 + random() % (512 * 1024);
    std::vector<char> content = bytes(size);
    const int copies = 2 + static_cast<int>(random() % 3);
    for (int copy = 0; copy < copies; ++copy) {
      const std::string& folder = folders[(set * 7 + copy * 131) % kFolders];
      if (!writeFile(folder + "/set" + std::to_string(set) + "-copy" + std::to_string(copy) + ".bin", content)) return false;
    }
    content.back() = static_cast<char>(content.back() ^ 0x5a);
    if (!writeFile(folders[(set * 7 + 977) % kFolders] + "/set" + std::to_string(set) + "-decoy.bin", content)) return false;
  }
  if (!bigFiles) return true;
  const std::string big = docs + "/big";
  ::mkdir(big.c_str(), 0755);
  for (int i = 0; i < 8; ++i) {
    if (!sparseFile(big + "/first-block-" + std::to_string(i) + ".img", 1ull << 30, std::string(4096, char('a' + i)), ""))
      return false;
  }
  if (!sparseFile(big + "/last-byte-a.img", 1ull << 30, "", "a") ||
      !sparseFile(big + "/last-byte-b.img", 1ull << 30, "", "b") ||
      !sparseFile(big + "/pair-1.img", 256ull << 20, "same", "same") ||
      !sparseFile(big + "/pair-2.img", 256ull << 20, "same", "same"))
    return false;
  return true;
}

// The sets a duplicates group holds, each as its sorted paths, sorted.
inline std::vector<std::vector<std::string>> sortedSets(const ItemGroup& group) {
  std::vector<std::vector<std::string>> sets;
  group.enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    std::vector<std::string> members;
    static_cast<const ItemGroup&>(*item).enumerateObjects([&](const ModelItemPtr& member, const ModelItemKey&, bool&) {
      members.push_back(dynamic_cast<const IFileItem&>(*member).path());
    });
    std::sort(members.begin(), members.end());
    sets.push_back(std::move(members));
  });
  std::sort(sets.begin(), sets.end());
  return sets;
}

}  // namespace vozi::bench
