#pragma once

#include <cstdint>
#include <string>

namespace vozi::platform {

// Byte counts as short English texts: "Zero KB", "1 byte", "512 bytes",
// "1.5 KB", "123 MB", "1.46 GB".
class ByteCountFormatter {
 public:
  enum class CountStyle { file = 0, memory = 1, decimal = 2, binary = 3 };

  CountStyle countStyle() const { return countStyle_; }
  void setCountStyle(CountStyle style) { countStyle_ = style; }
  // Adaptive: 0 fraction digits for bytes and KB, 1 for MB, 2 for GB and up.
  // Otherwise at least three significant digits. Trailing zeros are dropped.
  bool isAdaptive() const { return adaptive_; }
  void setAdaptive(bool adaptive) { adaptive_ = adaptive; }

  std::string string(std::int64_t byteCount) const;

 private:
  CountStyle countStyle_ = CountStyle::file;
  bool adaptive_ = true;
};

}  // namespace vozi::platform
