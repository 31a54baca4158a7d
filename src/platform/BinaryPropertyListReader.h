#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// Reads binary property lists ("bplist00") from bytes anyone may have
// written. Any thread may use a reader; it holds no state past open().
//
//   auto reader = BinaryPropertyListReader::open(bytes);
//   std::uint64_t budget = BinaryPropertyListReader::budgetFor(bytes.size());
//   Result<Value> top = reader ? reader->value(reader->topObject(), budget) : reader.error();
//
// What the reader guarantees, whatever the bytes:
// - No recursion; the trailer, the offset table, every offset, count, length
//   and reference is checked against the file before it is used.
// - Each object is decoded once per value() call; an object referred to
//   several times is decoded once and copied where it is referred to (a
//   value has no shared nodes).
// - Memory: value() first measures the size of the value it would build
//   (each string's and data's bytes at every place it appears, plus
//   kNodeCost per node) and fails before building when that exceeds the
//   budget it is given. budgetFor(n) is kBytesPerInputByte * n + kBudgetSlack:
//   a 64 KiB input expands to at most 17 MiB, and building that takes a
//   few tens of milliseconds (bench/hostile_inputs.cpp measures it).
// - Containers nest at most maxDepth levels in the value as built (a shared
//   container counts at every depth it is reached from); cycles fail.
// - Strings: ASCII objects must be 7-bit, UTF-16 objects well formed (no
//   unpaired surrogate); no string or key holds U+0000; text comes out as
//   UTF-8. Dictionary keys must be strings and unique.
// - Integers: 1, 2 and 4-byte objects are unsigned, 8-byte ones signed;
//   16-byte ones hold a 64-bit value (kept unsigned above INT64_MAX, or a
//   sign-extended negative one). Reals of 4 or 8 bytes, dates, data.
// - References (UIDs) read as {"CF$UID": n} with n below 2^32.
// Every failure is CocoaError::propertyListReadCorrupt with the reason; no
// partial value is returned.
class BinaryPropertyListReader {
 public:
  static constexpr std::uint64_t kNodeCost = 64;
  static constexpr std::uint64_t kBytesPerInputByte = 256;
  static constexpr std::uint64_t kBudgetSlack = 1u << 20;

  static std::uint64_t budgetFor(std::size_t inputSize) {
    return kBytesPerInputByte * static_cast<std::uint64_t>(inputSize) + kBudgetSlack;
  }

  // Checks the header, trailer and offset table. `bytes` must outlive the reader.
  static Result<BinaryPropertyListReader> open(std::string_view bytes, std::size_t maxDepth);
  // The whole property list, with the budget of its size.
  static Result<Value> read(std::string_view bytes, std::size_t maxDepth);

  std::uint64_t objectCount() const { return objectCount_; }
  std::uint64_t topObject() const { return topObject_; }

  // The value of object `index` and everything under it; its measured size
  // is taken from `budget` (nothing is taken when it fails).
  Result<Value> value(std::uint64_t index, std::uint64_t& budget) const;

  // One level only, for readers that fetch objects as they need them: the
  // references of an array object, and the keys (decoded) and value
  // references of a dictionary object.
  Result<std::vector<std::uint64_t>> arrayElements(std::uint64_t index) const;
  // A dictionary of more than `maxEntries` entries is an error, found
  // before any key is read.
  Result<std::vector<std::pair<std::string, std::uint64_t>>> dictionaryEntries(
      std::uint64_t index, std::uint64_t maxEntries = std::numeric_limits<std::uint64_t>::max()) const;
  // The text of a string object of at most maxUnits code units, as UTF-8;
  // an error for any other object.
  Result<std::string> stringValue(std::uint64_t index, std::uint64_t maxUnits) const;
  // The key and value references of a dictionary object, each checked to
  // refer to an object; the keys themselves are not read (see stringValue).
  Result<std::vector<std::pair<std::uint64_t, std::uint64_t>>> dictionaryReferences(
      std::uint64_t index, std::uint64_t maxEntries = std::numeric_limits<std::uint64_t>::max()) const;
  // The number a reference object (a UID) holds; an error for any other object.
  Result<std::uint64_t> referenceValue(std::uint64_t index) const;

  // The internal description of one object, exposed for the decoding helpers.
  struct Object {
    std::uint8_t type = 0;        // the marker's high nibble
    std::uint8_t low = 0;         // its low nibble
    std::uint64_t count = 0;      // strings: code units; data: bytes; containers: entries
    std::size_t payload = 0;      // where the bytes or references start
  };

 private:
  BinaryPropertyListReader() = default;

  Result<Object> object(std::uint64_t index) const;
  // The dictionary at `index`, refused when it is something else or holds
  // more than `maxEntries` entries.
  Result<Object> dictionaryObject(std::uint64_t index, std::uint64_t maxEntries) const;
  std::uint64_t reference(const Object& container, std::uint64_t slot) const;
  Result<std::string> text(const Object& string) const;
  std::optional<Result<Value>> flatValue(const Object& container, std::uint64_t& budget) const;

  std::string_view bytes_;
  std::size_t maxDepth_ = 0;
  std::size_t offsetSize_ = 0;
  std::size_t refSize_ = 0;
  std::uint64_t objectCount_ = 0;
  std::uint64_t topObject_ = 0;
  std::uint64_t tableOffset_ = 0;
};

}  // namespace vozi::platform
