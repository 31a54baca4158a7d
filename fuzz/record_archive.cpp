// Feeds arbitrary bytes to the record decoders a receiver uses. The first
// byte picks the decoder (see RecordDecoders.h), the rest is the archive. A
// decoder may refuse anything; it must never crash, hang or run out of
// memory.

#include <cstddef>
#include <cstdint>

#include "RecordDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const vozi::platform::Data archive(data + 1, data + size);
  vozi::fuzz::withRecordDecoder(data[0], [&](const auto& decoder) { (void)decoder.decode(archive); });
  return 0;
}
