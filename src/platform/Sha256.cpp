#include "platform/Sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/Hex.h"

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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  // Only a regular file has contents to digest: a pipe would read as empty
  // (or as whatever its writer keeps sending) and match every empty file.
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  DigestContext context;
  std::vector<unsigned char> buffer(1 << 20);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (!context.update(buffer.data(), static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return context.finish();
}

std::optional<std::string> Sha256::hexOfFile(const std::string& path) {
  const auto bytes = digestOfFile(path);
  if (!bytes) return std::nullopt;
  return Hex::encode(*bytes);
}

}  // namespace vozi::platform
