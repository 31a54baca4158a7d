#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// The framing of named-service messages: a 4-byte big-endian length, then
// that many bytes (one keyed archive).
//
// The reader takes bytes as they arrive from the socket and hands out whole
// frames. A header reserves room for its frame, up to kReserveAhead bytes,
// so a large frame is not copied each time its buffer would grow; the room
// is only address space until bytes arrive to fill it. A header announcing
// more than `maxFrame` bytes is an error, and the reader takes nothing more
// after it.
class ServiceFrameReader {
 public:
  static constexpr std::size_t kHeaderSize = 4;
  static constexpr std::size_t kReserveAhead = 64u << 20;

  explicit ServiceFrameReader(std::size_t maxFrame) : maxFrame_(maxFrame) {}

  // Appends `size` bytes; every frame they complete is appended to `frames`
  // in order. Fails once a header is over the cap.
  Result<void> append(const std::uint8_t* bytes, std::size_t size, std::vector<Data>& frames);

  // The header of a frame of `size` bytes.
  static void writeHeader(std::size_t size, std::uint8_t header[kHeaderSize]);

 private:
  std::size_t maxFrame_;
  std::uint8_t header_[kHeaderSize] = {};
  std::size_t headerBytes_ = 0;
  std::size_t announced_ = 0;
  Data body_;
  bool failed_ = false;
};

}  // namespace vozi::platform
