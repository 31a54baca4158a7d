#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// Reads and writes property lists (XML and binary "bplist00") as Values.
// Binary ones are read by BinaryPropertyListReader (bounded for hostile
// input: see its header) and written by BinaryPropertyListWriter; XML goes
// through libplist.
//
// Types survive a round trip: integers stay integers and reals reals, an
// unsigned integer above INT64_MAX stays unsigned (every other integer reads
// back as int64), dates stay dates and data stays data. A keyed-archive
// reference reads as {"CF$UID": n} and such a dictionary is written back as
// a reference.
//
// Limits: containers nest at most PropertyList::kMaxDepth levels; strings
// and dictionary keys must be UTF-8 without NUL characters; null values
// cannot be written. Binary dates keep the full double; XML dates hold whole
// seconds (the fraction is dropped on writing, and a fraction is refused on
// reading). Inputs are limited to 4 GiB. Malformed input is an error, never
// a partial value.
class PropertyList {
 public:
  enum class Format { xml, binary };

  static constexpr std::size_t kMaxDepth = 250;

  static Result<Value> fromXML(std::string_view text);
  static Result<Value> fromBinary(std::string_view bytes);
  static Result<Value> fromBinary(const Data& bytes);
  // Binary when the bytes start with "bplist00", XML otherwise. `format`,
  // when given, receives which one it was.
  static Result<Value> fromAny(std::string_view bytes, Format* format = nullptr);
  static Result<Value> fromAny(const Data& bytes, Format* format = nullptr);

  static Result<std::string> toXML(const Value& value);
  static Result<Data> toBinary(const Value& value);
  static Result<Data> serialize(const Value& value, Format format);

  // Reads a property list file of either format.
  static Result<Value> readFile(const std::string& path, Format* format = nullptr);
  // Reads one only when path itself names a regular file (a link in its
  // place is refused, ELOOP) of at most maxSize bytes: for files in folders
  // other users can write to. The checks apply to what was opened, so the
  // file cannot be swapped between a check and the read.
  static Result<Value> readRegularFile(const std::string& path, std::uint64_t maxSize, Format* format = nullptr);
  // Writes atomically: a temporary file in the same folder, flushed, given
  // `mode`, then renamed over `path`. A failure leaves `path` untouched.
  static Result<void> writeFile(const std::string& path, const Value& value, Format format = Format::binary,
                                mode_t mode = 0644);

  // Writes bytes atomically the same way; shared by other file writers.
  static Result<void> writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0644);
};

}  // namespace vozi::platform
