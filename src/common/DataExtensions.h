#pragma once

#include <string>

#include "platform/Value.h"

namespace vozi {

class DataExtensions {
 public:
  // The SHA-256 digest of all the bytes: 32 bytes.
  static platform::Data sha256(const platform::Data& data);
  static platform::Data com_zol_sha256_hash(const platform::Data& data) { return sha256(data); }
  // Each byte as two lower-case hex digits, in order, no separator.
  static std::string com_zol_hexEncodedString(const platform::Data& data);
};

}  // namespace vozi
