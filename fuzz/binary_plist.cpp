// Feeds arbitrary bytes to the binary property-list reader. Whatever it
// accepts must stay within the budget it states and must write back and
// read back as the same value (compared by writing it again: a NaN equals
// no value); whatever it refuses must be refused with the property-list
// error, never a crash or a hang.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/BinaryPropertyListReader.h"
#include "platform/BinaryPropertyListWriter.h"
#include "platform/CocoaError.h"
#include "platform/PropertyList.h"

using vozi::platform::BinaryPropertyListReader;
using vozi::platform::BinaryPropertyListWriter;
using vozi::platform::CocoaError;
using vozi::platform::Data;
using vozi::fuzz::check;

namespace {

constexpr std::size_t kMaxDepth = vozi::platform::PropertyList::kMaxDepth;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto reader = BinaryPropertyListReader::open(bytes, kMaxDepth);
  if (!reader) {
    check(reader.error().code == CocoaError::propertyListReadCorrupt, "open fails with the property-list error");
    return 0;
  }
  const std::uint64_t budget = BinaryPropertyListReader::budgetFor(size);
  std::uint64_t left = budget;
  auto value = reader->value(reader->topObject(), left);
  if (!value) {
    check(value.error().code == CocoaError::propertyListReadCorrupt, "reading fails with the property-list error");
    check(left == budget, "a failed read spends nothing");
    return 0;
  }
  check(left <= budget, "a read spends within its budget");
  Data written;
  const auto fault = BinaryPropertyListWriter::write(*value, kMaxDepth, written);
  check(!fault, "what was read can be written");
  auto back = BinaryPropertyListReader::read(
      std::string_view(reinterpret_cast<const char*>(written.data()), written.size()), kMaxDepth);
  check(back.ok(), "what was written reads back");
  Data again;
  check(!BinaryPropertyListWriter::write(*back, kMaxDepth, again), "what was read back can be written");
  check(again == written, "and reads back the same");
  return 0;
}
