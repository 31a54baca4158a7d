#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TreePath.h"

namespace vozi::platform {

// SHA-256 digests, as their 32 bytes or as lower-case hex text.
class Sha256 {
 public:
  static std::vector<std::uint8_t> digest(const void* bytes, std::size_t length);
  // The digest of a whole file, read in chunks; absent when it cannot be read.
  // The path is opened with TreePath (no link on the way), the file itself
  // without following a symbolic link, and only a regular file is read.
  static std::optional<std::vector<std::uint8_t>> digestOfFile(const std::string& path);
  // The same for the file `name` inside a folder the caller holds open.
  static std::optional<std::vector<std::uint8_t>> digestOfFile(int folder, std::string_view name);
  // For a file below a folder the caller holds open, reached in one step
  // (TreePath::openRegularFileBelow), for many files of one tree: the digest
  // of the whole, and a digest of its length, first block and last block
  // (files that differ in either differ there; files alike there may still
  // differ in between).
  // With `declined` given, a file whose middle (its first byte for the ends)
  // is not in memory is not read: *declined is set instead, so that a caller
  // reading side by side can leave the disk's files to one reader.
  static std::optional<std::vector<std::uint8_t>> digestOfFileBelow(int folder, std::string_view relativePath,
                                                                    bool* declined = nullptr);
  static std::optional<std::vector<std::uint8_t>> digestOfFileEndsBelow(int folder, std::string_view relativePath,
                                                                        std::size_t blockSize, bool* declined = nullptr);

  // What digestOfFile reads at a time.
  static constexpr std::size_t kReadSize = 128 * 1024;

  static std::string hex(const void* bytes, std::size_t length);
  static std::string hex(std::string_view bytes) { return hex(bytes.data(), bytes.size()); }
  // The hex text of digestOfFile.
  static std::optional<std::string> hexOfFile(const std::string& path);

 private:
  static std::optional<std::vector<std::uint8_t>> digestOfOpenedFile(const TreePath::File& file);
  static std::optional<std::vector<std::uint8_t>> endsOfOpenedFile(const TreePath::File& file, std::size_t blockSize);
};

}  // namespace vozi::platform
