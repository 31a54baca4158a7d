#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vozi::platform {

// Hexadecimal digits as URL escapes, digests and data descriptions write them.
class Hex {
 public:
  enum class Case { lower, upper };

  // The value of one hex digit of either case; -1 for any other character.
  static int digitValue(char c);
  // Appends the byte as two digits, the high one first.
  static void appendByte(std::string& out, std::uint8_t byte, Case letters = Case::lower);
  // Every byte as two digits, in order, no separator.
  static std::string encode(const void* bytes, std::size_t length, Case letters = Case::lower);
  static std::string encode(const std::vector<std::uint8_t>& bytes, Case letters = Case::lower) {
    return encode(bytes.data(), bytes.size(), letters);
  }
};

}  // namespace vozi::platform
