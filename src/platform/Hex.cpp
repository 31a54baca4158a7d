#include "platform/Hex.h"

namespace vozi::platform {

int Hex::digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void Hex::appendByte(std::string& out, std::uint8_t byte, Case letters) {
  const char* digits = letters == Case::upper ? "0123456789ABCDEF" : "0123456789abcdef";
  out.push_back(digits[byte >> 4]);
  out.push_back(digits[byte & 0xF]);
}

std::string Hex::encode(const void* bytes, std::size_t length, Case letters) {
  const auto* begin = static_cast<const std::uint8_t*>(bytes);
  std::string out;
  out.reserve(length * 2);
  for (std::size_t i = 0; i < length; ++i) appendByte(out, begin[i], letters);
  return out;
}

}  // namespace vozi::platform
