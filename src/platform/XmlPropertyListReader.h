#pragma once

#include <cstddef>
#include <string_view>

#include "platform/PropertyList.h"
#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// Reads an XML property list, through libxml2's streaming reader: no
// network, no DTD loading, no entity expansion (a reference to any entity
// other than the five predefined ones is an error), libxml2's default size
// limits, the text taken as UTF-8 whatever the declaration says. The
// property-list grammar is checked here, without recursion:
//   - exactly one value inside <plist>, nothing but comments after it;
//   - in a dictionary every <key> is followed by one value;
//   - <integer>: decimal without leading zeros or "0x" hexadecimal, with an
//     optional sign, from -2^63 to 2^64-1 (above INT64_MAX it reads as
//     unsigned); <real>: a decimal number, "nan", "inf" or "infinity" with
//     an optional sign; <date>: "YYYY-MM-DDTHH:MM:SSZ" naming a real moment
//     of the years 0000 to 9999 (proleptic
//     Gregorian calendar); XML whitespace around any of the three is
//     ignored; <data>: base64 (Base64::decode); <true/> and <false/> hold
//     nothing;
//   - no NUL character anywhere, containers nested at most `maxDepth` deep.
//
// Strict (the daemon's own files, archives, peers' data) is exactly that
// grammar over well-formed XML: a key given twice is an error.
// Tolerant (property lists other programs wrote to disk) also reads what
// those programs write and the platform's own reader takes: raw control
// characters (read back exactly), "--" inside comments, and a key given
// twice (the last one wins). Both are done by a linear pre-pass over the
// text: control characters are carried through libxml2 as private-use
// characters (U+10FF01...U+10FF1F, refused when the input holds them
// already) and turned back in keys and strings; hyphens inside comments
// become spaces. Structure is never repaired: malformed structure is an
// error in both modes, never a partial value.
//
// Stateless and thread-safe; callable from any queue.
class XmlPropertyListReader {
 public:
  // The longest text one element may hold (a string, or a data element's
  // base64 with its line breaks): libxml2's own limit outside huge-input
  // mode, which stays off.
  static constexpr std::size_t kMaxTextLength = 10'000'000;

  static Result<Value> read(std::string_view text, PropertyList::Strictness strictness, std::size_t maxDepth);
};

}  // namespace vozi::platform
