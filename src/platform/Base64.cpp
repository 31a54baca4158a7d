#include "platform/Base64.h"

#include <cstdint>

namespace vozi::platform {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int symbolValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64::encode(const Data& data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out.push_back(kAlphabet[(n >> 18) & 63]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.push_back(kAlphabet[(n >> 6) & 63]);
    out.push_back(kAlphabet[n & 63]);
  }
  if (i < data.size()) {
    const bool two = i + 1 < data.size();
    const std::uint32_t n = (data[i] << 16) | (two ? data[i + 1] << 8 : 0);
    out.push_back(kAlphabet[(n >> 18) & 63]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.push_back(two ? kAlphabet[(n >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::optional<Data> Base64::decode(std::string_view text) {
  Data out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  std::size_t symbols = 0;  // in the current group, padding included
  std::size_t padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      if (symbols < 2) return std::nullopt;
      ++padding;
      group <<= 6;
    } else {
      const int v = symbolValue(c);
      if (v < 0 || padding > 0) return std::nullopt;
      group = (group << 6) | static_cast<std::uint32_t>(v);
    }
    if (++symbols == 4) {
      out.push_back(static_cast<std::uint8_t>(group >> 16));
      if (padding < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
      if (padding < 1) out.push_back(static_cast<std::uint8_t>(group));
      group = 0;
      symbols = 0;
      padding = 0;
    }
  }
  if (symbols != 0) return std::nullopt;
  return out;
}

}  // namespace vozi::platform
