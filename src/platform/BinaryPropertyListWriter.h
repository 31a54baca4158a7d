#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace vozi::platform {

// Encodes a Value as a binary property list ("bplist00").
//
// libplist 2.2's own encoder takes time quadratic in the number of
// non-string objects (minutes for an archive of 100,000 records), so the
// format is written here: objects in depth-first order from the top one,
// equal strings, numbers, dates and references written once, the narrowest
// integer, reference and offset widths that fit. Integers are 1, 2 or 4
// bytes when non-negative and small, 8 bytes signed otherwise, and 16 bytes
// for unsigned values above INT64_MAX; strings are ASCII or UTF-16BE;
// {"CF$UID": n} dictionaries become references.
class BinaryPropertyListWriter {
 public:
  // The bytes, or a description of why the value cannot be written (null,
  // a string that is not UTF-8 or holds NUL, nesting deeper than maxDepth,
  // a reference above 2^32-1).
  static std::optional<std::string> write(const Value& value, std::size_t maxDepth, Data& out);
};

}  // namespace vozi::platform
