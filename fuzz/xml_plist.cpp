// Feeds arbitrary text to the XML property-list reader in both modes and
// checks what it accepts: whatever strict reading takes, tolerant reading
// takes the same way (unless the text holds what tolerant reading reserves),
// and an accepted value is written and read back to the same document.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/PropertyList.h"
#include "platform/XmlPropertyListReader.h"
#include "platform/XmlPropertyListWriter.h"

using vozi::platform::PropertyList;
using vozi::platform::XmlPropertyListReader;
using vozi::platform::XmlPropertyListWriter;
using vozi::fuzz::check;

namespace {

constexpr std::size_t kDepth = PropertyList::kMaxDepth;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto strict = XmlPropertyListReader::read(text, PropertyList::Strictness::strict, kDepth);
  auto tolerant = XmlPropertyListReader::read(text, PropertyList::Strictness::tolerant, kDepth);
  // Private-use carriers (raw: F4 8F BC ..; or by reference) are the only
  // well-formed text tolerant reading turns away.
  const bool reserved = text.find('\xF4') != std::string_view::npos || text.find("&#") != std::string_view::npos;
  if (strict && !reserved) check(tolerant.ok(), "tolerant reading refused what strict reading took");
  for (auto* read : {&strict, &tolerant}) {
    if (!*read) continue;
    auto written = XmlPropertyListWriter::write(**read, kDepth);
    if (!written) continue;  // control characters, dates out of range
    auto again = XmlPropertyListReader::read(*written, PropertyList::Strictness::strict, kDepth);
    check(again.ok(), "what was written does not read back");
    auto rewritten = XmlPropertyListWriter::write(*again, kDepth);
    check(rewritten.ok() && *rewritten == *written, "a value changed on its way through XML");
  }
  if (strict && tolerant) {
    auto a = XmlPropertyListWriter::write(*strict, kDepth);
    auto b = XmlPropertyListWriter::write(*tolerant, kDepth);
    check(a.ok() == b.ok() && (!a.ok() || *a == *b), "the modes read one text differently");
  }
  return 0;
}
