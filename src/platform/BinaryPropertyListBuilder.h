#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Value.h"

namespace vozi::platform {

// Builds a binary property list ("bplist00") object by object: add the
// leaves, then the containers that refer to them by the indices returned,
// then finish with the top object.
//
// Equal strings, references, booleans and small integers become one object
// (other numbers are rarely equal; keeping them apart keeps this fast). Integers
// take 1, 2 or 4 bytes when non-negative and small, 8 bytes signed
// otherwise, 16 bytes for unsigned values above INT64_MAX; strings are
// ASCII or UTF-16BE; references, offsets and counts take the narrowest
// width that fits. Callers pass strings that are valid UTF-8.
class BinaryPropertyListBuilder {
 public:
  using Index = std::uint32_t;

  BinaryPropertyListBuilder();

  Index string(std::string_view text);
  Index integer(std::int64_t value);
  // Values above INT64_MAX are marked unsigned; the rest are plain integers.
  Index unsignedInteger(std::uint64_t value);
  Index real(double value);
  Index boolean(bool value);
  Index date(double secondsSince2001);
  Index data(const std::uint8_t* bytes, std::size_t size);
  Index uid(std::uint32_t value);
  Index array(const Index* items, std::size_t count);
  Index array(const std::vector<Index>& items) { return array(items.data(), items.size()); }
  // keys[i] maps to values[i]; keys must be string objects.
  Index dictionary(const Index* keys, const Index* values, std::size_t count);

  std::size_t objectCount() const { return objects_.size(); }
  // The encoded property list with `top` as its top object.
  Data finish(Index top) const;

 private:
  struct Entry {
    std::uint64_t start;   // scalars: address of the encoded bytes; containers: first child in children_
    std::uint32_t length;  // scalars: encoded bytes; containers: references
    std::uint8_t kind;     // 0 scalar, 0xA array, 0xD dictionary
  };
  // A string already added, found by its UTF-8 text: a slot of an
  // open-addressed table (a flat table keeps a 100,000-path archive's
  // lookups to one or two cache misses, where node-based maps take more).
  struct StringSlot {
    const char* text = nullptr;  // null: empty slot
    std::uint32_t size = 0;
    Index index = 0;
    std::uint32_t hash = 0;  // the text's, so probing and growing rarely read the text
  };
  static constexpr std::size_t kSmallIntegers = 256;

  // Room for `size` encoded bytes that stay where they are: scalars live in
  // blocks that are never moved, so growing never copies what is there.
  std::uint8_t* reserveScalar(std::size_t size);
  Index addScalar(const std::uint8_t* start, std::size_t size);
  Index addEncoded(const std::uint8_t* encoded, std::size_t size);
  std::string_view keep(std::string_view text);
  StringSlot* findString(std::string_view text, std::size_t hash);
  void growStrings();

  std::vector<Entry> objects_;
  std::vector<std::unique_ptr<std::uint8_t[]>> scalarBlocks_;
  std::size_t scalarBlockUsed_ = 0;
  std::size_t scalarBlockSize_ = 0;
  std::size_t scalarBytes_ = 0;
  std::vector<Index> children_;
  std::vector<std::unique_ptr<char[]>> textBlocks_;  // copies of non-ASCII strings' UTF-8 text
  std::size_t textBlockUsed_ = 0;
  std::size_t textBlockSize_ = 0;
  std::vector<StringSlot> strings_;  // a power of two in size, at most 3/4 full
  std::size_t stringCount_ = 0;
  Index booleans_[2] = {};                               // index + 1, 0 when not yet added
  Index smallIntegers_[kSmallIntegers] = {};             // index + 1 for 0 ..< kSmallIntegers
  std::vector<Index> uids_;                              // index + 1 for values below 2^24
  std::unordered_map<std::uint32_t, Index> largeUIDs_;
};

}  // namespace vozi::platform
