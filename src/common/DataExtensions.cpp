#include "common/DataExtensions.h"

#include "platform/Sha256.h"

namespace vozi {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

}  // namespace

platform::Data DataExtensions::sha256(const platform::Data& data) {
  const std::string hex = platform::Sha256::hex(data.data(), data.size());
  platform::Data digest;
  digest.reserve(hex.size() / 2);
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    digest.push_back(static_cast<std::uint8_t>(hexValue(hex[i]) * 16 + hexValue(hex[i + 1])));
  return digest;
}

std::string DataExtensions::com_zol_hexEncodedString(const platform::Data& data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (const std::uint8_t byte : data) {
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0xF]);
  }
  return out;
}

}  // namespace vozi
