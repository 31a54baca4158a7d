#include "platform/ByteCountFormatter.h"

#include <cmath>
#include <cstdio>

namespace vozi::platform {

namespace {

std::string grouped(const std::string& number) {
  const auto dot = number.find('.');
  const std::size_t wholeLength = dot == std::string::npos ? number.size() : dot;
  std::string out;
  out.reserve(number.size() + wholeLength / 3);
  for (std::size_t i = 0; i < wholeLength; ++i) {
    if (i > 0 && (wholeLength - i) % 3 == 0) out.push_back(',');
    out.push_back(number[i]);
  }
  out.append(number, wholeLength, std::string::npos);
  return out;
}

}  // namespace

std::string ByteCountFormatter::string(std::int64_t byteCount) const {
  if (byteCount == 0) return "Zero KB";
  const bool negative = byteCount < 0;
  const double magnitude = negative ? -static_cast<double>(byteCount) : static_cast<double>(byteCount);
  const std::string sign = negative ? "-" : "";
  if (magnitude == 1) return sign + "1 byte";
  const double base = (countStyle_ == CountStyle::memory || countStyle_ == CountStyle::binary) ? 1024.0 : 1000.0;
  if (magnitude < base) return sign + grouped(std::to_string(static_cast<std::int64_t>(magnitude))) + " bytes";

  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  int unit = 0;
  double value = magnitude / base;
  while (value >= base && unit < 5) {
    value /= base;
    ++unit;
  }
  int fractionDigits;
  if (adaptive_) {
    fractionDigits = unit == 0 ? 0 : (unit == 1 ? 1 : 2);
  } else {
    fractionDigits = value < 10 ? 2 : (value < 100 ? 1 : 0);
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", fractionDigits, value);
  std::string number = buffer;
  if (number.find('.') != std::string::npos) {
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
  }
  return sign + grouped(number) + " " + kUnits[unit];
}

}  // namespace vozi::platform
