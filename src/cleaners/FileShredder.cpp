#include "cleaners/FileShredder.h"

#include <stdlib.h>

#include <array>
#include <vector>

#include "common/MLog.h"
#include "platform/FileOverwrite.h"

namespace vozi {

namespace {

enum class Pattern { zeros, ones, random };

void fillRandomBlock(std::uint8_t* block) {
  for (std::size_t offset = 0; offset < FileShredder::kBlockSize; offset += 4) {
    const std::uint32_t value = ::arc4random();
    block[offset] = static_cast<std::uint8_t>(value >> 24);
    block[offset + 1] = static_cast<std::uint8_t>(value >> 16);
    block[offset + 2] = static_cast<std::uint8_t>(value >> 8);
    block[offset + 3] = static_cast<std::uint8_t>(value);
  }
}

}  // namespace

platform::Result<void> FileShredder::Writer::write(const platform::FileDescriptor& file, const void* bytes,
                                                   std::size_t size, std::uint64_t offset) {
  return platform::FileOverwrite::writeAt(file, bytes, size, offset);
}

platform::Result<void> FileShredder::Writer::sync(const platform::FileDescriptor& file) {
  return platform::FileOverwrite::sync(file);
}

FileShredder::FileShredder(std::shared_ptr<Writer> writer) : writer_(std::move(writer)) {}

FileShredder::Outcome FileShredder::shred(const std::string& path, std::optional<uid_t> owner,
                                          const std::function<void()>& onBlock) {
  auto opened = platform::FileOverwrite::open(path, owner);
  if (!opened) {
    MLog("Could not open file");
    MLog("Not shredded, left in place: " + path + ": " + opened.error().localizedDescription());
    return Outcome::notOpened;
  }
  const platform::FileDescriptor& file = opened->descriptor;
  const std::uint64_t size = opened->size;
  const std::uint64_t whole = blocks(size);
  const std::size_t tail = static_cast<std::size_t>(size % kBlockSize);

  std::array<std::uint8_t, kBlockSize> zeros{};
  std::array<std::uint8_t, kBlockSize> ones;
  ones.fill(0xFF);
  std::array<std::uint8_t, kBlockSize> random;

  auto pass = [&](Pattern pattern) -> platform::Result<void> {
    for (std::uint64_t block = 0; block < whole; ++block) {
      const std::uint8_t* bytes = pattern == Pattern::zeros ? zeros.data() : pattern == Pattern::ones ? ones.data() : random.data();
      if (pattern == Pattern::random) fillRandomBlock(random.data());
      if (auto wrote = writer_->write(file, bytes, kBlockSize, block * kBlockSize); !wrote) return wrote.error();
      if (onBlock) onBlock();
    }
    if (tail > 0) {
      std::vector<std::uint8_t> bytes(tail, pattern == Pattern::ones ? 0xFF : 0x00);
      if (pattern == Pattern::random) {
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(::arc4random());
      }
      if (auto wrote = writer_->write(file, bytes.data(), tail, whole * kBlockSize); !wrote) return wrote.error();
    }
    return writer_->sync(file);
  };

  // Two cycles: zeros, ones, then one random pass, then two.
  for (int cycle = 1; cycle <= 2; ++cycle) {
    std::vector<Pattern> passes = {Pattern::zeros, Pattern::ones};
    for (int i = 0; i < cycle; ++i) passes.push_back(Pattern::random);
    for (const Pattern pattern : passes) {
      if (auto done = pass(pattern); !done) {
        MLog("Shredding failed, file left in place: " + path + ": " + done.error().localizedDescription());
        return Outcome::failed;
      }
    }
  }
  if (auto removed = platform::FileOverwrite::removeIfSame(path, opened->device, opened->inode); !removed)
    MLog("Error: " + removed.error().localizedDescription());
  return Outcome::shredded;
}

}  // namespace vozi
