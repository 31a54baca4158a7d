#pragma once

#include <array>
#include <cstdint>

namespace vozi {

// A descriptor set of the classic select shape: 32 words of 32 bits for
// descriptors 0 to 1023, descriptor d in word d / 32 at bit d % 32. The layer
// itself waits with poll, which has no such ceiling; the set remains for
// callers that keep descriptor sets of their own.
struct FD {
  using Set = std::array<std::uint32_t, 32>;

  static void ZERO(Set& set);
  // Descriptors outside 0 to 1023 leave the set unchanged and test false.
  static void SET(int fd, Set& set);
  static void CLR(int fd, Set& set);
  static bool ISSET(int fd, const Set& set);
};

}  // namespace vozi
