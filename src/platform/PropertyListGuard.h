#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vozi::platform {

// Checks untrusted property-list bytes before libplist sees them.
//
// libplist parses nested containers by recursion, expands every shared
// reference of a binary plist into a fresh copy, and reads unparsable XML
// numbers and dates as 0 or 1970. A small hostile file could therefore
// exhaust the stack, blow up into billions of nodes, or be taken as valid
// data. These checks walk the structure without recursion and reject such
// input; what they let through is what libplist reads exactly.
class PropertyListGuard {
 public:
  // Containers may nest this deep (the top container is level 1).
  static constexpr std::size_t kMaxDepth = 512;
  // Extra nodes that shared containers may add beyond one node per reference.
  static constexpr std::uint64_t kSharedNodeAllowance = 1u << 18;

  // A description of the first fault, or nothing when the bytes are sound.
  static std::optional<std::string> checkBinary(const std::uint8_t* data, std::size_t size,
                                                std::size_t maxDepth = kMaxDepth);
  static std::optional<std::string> checkXML(const char* text, std::size_t size, std::size_t maxDepth = kMaxDepth);
};

}  // namespace vozi::platform
