// Feeds arbitrary bytes to the binary property-list reader. Whatever it
// accepts must write back and read back as the same value.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/PropertyList.h"

using vozi::platform::PropertyList;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto value = PropertyList::fromBinary(bytes);
  if (!value) return 0;
  vozi::fuzz::checkPropertyListRoundTrip(*value);
  return 0;
}
