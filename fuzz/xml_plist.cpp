// Feeds arbitrary text to the XML property-list reader. The first byte
// chooses between the strict and the tolerant reading once the reader
// offers both; the rest is the document. Whatever is accepted must write
// back and read back as the same value.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/PropertyList.h"

using vozi::platform::PropertyList;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  [[maybe_unused]] const bool strict = (data[0] & 1) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  auto value = PropertyList::fromXML(text);
  if (!value) return 0;
  vozi::fuzz::checkPropertyListRoundTrip(*value);
  return 0;
}
