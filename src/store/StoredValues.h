#pragma once

#include <cstdint>
#include <limits>

namespace vozi {

// How the unsigned sizes and kind masks of the runtime records cross into the
// signed fields of the store and back. Sizes of 2^63 bytes or more do not
// arise; should one come, it is held at the largest storable size rather than
// wrapping into a negative number. A negative stored value reads back as 0.
class StoredValues {
 public:
  static std::int64_t storedSize(std::uint64_t size) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(size > kMax ? kMax : size);
  }
  static std::uint64_t runtimeSize(std::int64_t stored) {
    return stored > 0 ? static_cast<std::uint64_t>(stored) : 0;
  }
  // The file-kind bits that fit the signed 16-bit field (every defined kind does).
  static std::int16_t storedFileType(std::uint64_t mask) { return static_cast<std::int16_t>(mask & 0x7FFF); }
  static std::uint64_t runtimeFileType(std::int16_t stored) {
    return stored > 0 ? static_cast<std::uint64_t>(stored) : 0;
  }
  // a + b for running totals, held at the largest storable value.
  static std::int64_t addedSize(std::int64_t total, std::int64_t add) {
    if (add > 0 && total > std::numeric_limits<std::int64_t>::max() - add) return std::numeric_limits<std::int64_t>::max();
    return total + add;
  }
};

}  // namespace vozi
