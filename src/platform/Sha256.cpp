#include "platform/Sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>

#include <limits>
#include <memory>
#include <vector>

#include "platform/Hex.h"
#include "platform/PageCache.h"
#include "platform/TreePath.h"

namespace vozi::platform {

namespace {

struct DigestContext {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
  bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;

  bool update(const void* bytes, std::size_t length) {
    return ok && EVP_DigestUpdate(ctx.get(), bytes, length) == 1;
  }

  std::optional<std::vector<std::uint8_t>> finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return std::nullopt;
    return std::vector<std::uint8_t>(digest, digest + length);
  }
};

}  // namespace

std::vector<std::uint8_t> Sha256::digest(const void* bytes, std::size_t length) {
  DigestContext context;
  context.update(bytes, length);
  return context.finish().value_or(std::vector<std::uint8_t>());
}

std::string Sha256::hex(const void* bytes, std::size_t length) { return Hex::encode(digest(bytes, length)); }

std::optional<std::vector<std::uint8_t>> Sha256::digestOfFile(const std::string& path) {
  auto file = TreePath::openRegularFileInTree(path);
  if (!file) return std::nullopt;
  return digestOfOpenedFile(*file);
}

std::optional<std::vector<std::uint8_t>> Sha256::digestOfFile(int folder, std::string_view name) {
  // Only a regular file has contents to digest: a pipe would read as empty
  // (or as whatever its writer keeps sending) and match every empty file.
  auto file = TreePath::openRegularFile(folder, name, std::numeric_limits<std::uint64_t>::max(), name);
  if (!file) return std::nullopt;
  return digestOfOpenedFile(*file);
}

std::optional<std::vector<std::uint8_t>> Sha256::digestOfFileBelow(int folder, std::string_view relativePath,
                                                                   bool* declined) {
  auto file = TreePath::openRegularFileBelow(folder, relativePath);
  if (!file) return std::nullopt;
  if (declined && !PageCache::holdsOpened(*file, file->size / 2)) {
    *declined = true;
    return std::nullopt;
  }
  return digestOfOpenedFile(*file);
}

std::optional<std::vector<std::uint8_t>> Sha256::digestOfOpenedFile(const TreePath::File& opened) {
  const auto* file = &opened;
  ::posix_fadvise(file->descriptor.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  DigestContext context;
  // One buffer per thread, made once and never cleared: every read fills
  // what it uses.
  thread_local const std::unique_ptr<unsigned char[]> buffer = std::make_unique_for_overwrite<unsigned char[]>(kReadSize);
  for (;;) {
    const auto got = file->descriptor.readSome(buffer.get(), kReadSize);
    if (!got) return std::nullopt;
    if (*got == 0) break;
    if (!context.update(buffer.get(), *got)) return std::nullopt;
  }
  return context.finish();
}

std::optional<std::vector<std::uint8_t>> Sha256::digestOfFileEndsBelow(int folder, std::string_view relativePath,
                                                                       std::size_t blockSize, bool* declined) {
  auto file = TreePath::openRegularFileBelow(folder, relativePath);
  if (!file) return std::nullopt;
  if (declined && !PageCache::holdsOpened(*file, 0)) {
    *declined = true;
    return std::nullopt;
  }
  return endsOfOpenedFile(*file, blockSize);
}

std::optional<std::vector<std::uint8_t>> Sha256::endsOfOpenedFile(const TreePath::File& opened, std::size_t blockSize) {
  const auto* file = &opened;
  std::vector<unsigned char> block(blockSize);
  DigestContext context;
  const std::uint64_t size = file->size;
  context.update(&size, sizeof size);
  const std::uint64_t offsets[] = {0, size > blockSize ? size - blockSize : 0};
  for (const std::uint64_t offset : offsets) {
    std::size_t filled = 0;
    while (filled < block.size()) {
      const auto got = file->descriptor.readSomeAt(block.data() + filled, block.size() - filled, offset + filled);
      if (!got) return std::nullopt;
      if (*got == 0) break;
      filled += *got;
    }
    if (!context.update(block.data(), filled)) return std::nullopt;
    if (size <= blockSize) break;
  }
  return context.finish();
}

std::optional<std::string> Sha256::hexOfFile(const std::string& path) {
  const auto bytes = digestOfFile(path);
  if (!bytes) return std::nullopt;
  return Hex::encode(*bytes);
}

}  // namespace vozi::platform
