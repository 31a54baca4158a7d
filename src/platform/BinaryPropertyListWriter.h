#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace vozi::platform {

// Encodes a Value as a binary property list ("bplist00") through
// BinaryPropertyListBuilder.
//
// libplist 2.2's own encoder takes time quadratic in the number of
// non-string objects (minutes for an archive of 100,000 records), so the
// format is written by this layer. {"CF$UID": n} dictionaries become
// references.
class BinaryPropertyListWriter {
 public:
  // The bytes, or a description of why the value cannot be written (null,
  // a string that is not UTF-8 or holds NUL, nesting deeper than maxDepth,
  // a reference above 2^32-1).
  static std::optional<std::string> write(const Value& value, std::size_t maxDepth, Data& out);
};

}  // namespace vozi::platform
