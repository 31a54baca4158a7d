#pragma once

#include <cstddef>
#include <string>

#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// Writes a Value as an XML property list in the customary layout: the XML
// declaration, the property-list DOCTYPE, one element per line indented by
// tabs, dictionary keys in order, data as base64 lines.
//
// What is written reads back as the same Value through the strict reader:
// integers in decimal (an unsigned one above INT64_MAX as such), reals
// with 17 significant digits ("+infinity", "-infinity", "nan"), dates to
// the whole second (the fraction is dropped, towards zero), CR in text as
// "&#13;" (XML would read a raw one as LF). A keyed-archive reference is its
// {"CF$UID": n} dictionary. Errors: null, text that is not UTF-8 or holds a
// character XML cannot carry (NUL, other control characters than tab, LF
// and CR, U+FFFE, U+FFFF), a date outside the years 0000 to 9999, a string,
// key or data element whose text would pass the reader's
// XmlPropertyListReader::kMaxTextLength, containers nested deeper than
// `maxDepth`.
//
// Recursion is bounded by `maxDepth`. Stateless; callable from any queue.
class XmlPropertyListWriter {
 public:
  static Result<std::string> write(const Value& value, std::size_t maxDepth);
};

}  // namespace vozi::platform
