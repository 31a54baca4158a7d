#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// Reads and writes property lists (XML and binary "bplist00") as Values.
// XML is read by XmlPropertyListReader (libxml2 under our own grammar check,
// strict or tolerant) and written by XmlPropertyListWriter; binary ones are
// read by BinaryPropertyListReader (bounded for hostile input: see its
// header) and written by BinaryPropertyListWriter. Nothing here goes through
// libplist.
//
// Types survive a round trip: integers stay integers and reals reals, an
// unsigned integer above INT64_MAX stays unsigned (every other integer reads
// back as int64), dates stay dates and data stays data. A keyed-archive
// reference reads as {"CF$UID": n} and such a dictionary is written back as
// a reference.
//
// Limits: containers nest at most PropertyList::kMaxDepth levels; strings
// and dictionary keys must be UTF-8 without NUL characters (in XML also
// without other control characters than tab, LF and CR, and without U+FFFE
// and U+FFFF); null values cannot be written. Binary dates keep the full double; XML dates hold whole
// seconds (the fraction is dropped on writing, and a fraction is refused on
// reading). Inputs are limited to 4 GiB, XML ones to 2 GiB. Malformed input
// is an error, never a partial value.
class PropertyList {
 public:
  enum class Format { xml, binary };
  // How XML is read (binary has one form). Strict: exactly the property-list
  // grammar, for the daemon's own files, archives and peers' data. Tolerant:
  // also what other programs leave in files on disk (raw control
  // characters, "--" in comments, a key given twice: the last one wins).
  // See XmlPropertyListReader.
  enum class Strictness { strict, tolerant };

  static constexpr std::size_t kMaxDepth = 250;

  static Result<Value> fromXML(std::string_view text, Strictness strictness = Strictness::strict);
  static Result<Value> fromBinary(std::string_view bytes);
  static Result<Value> fromBinary(const Data& bytes);
  // Binary when the bytes start with "bplist00", XML otherwise. `format`,
  // when given, receives which one it was.
  static Result<Value> fromAny(std::string_view bytes, Format* format = nullptr,
                               Strictness strictness = Strictness::strict);
  static Result<Value> fromAny(const Data& bytes, Format* format = nullptr,
                               Strictness strictness = Strictness::strict);

  static Result<std::string> toXML(const Value& value);
  static Result<Data> toBinary(const Value& value);
  static Result<Data> serialize(const Value& value, Format format);

  // Reads a property list file of either format.
  static Result<Value> readFile(const std::string& path, Format* format = nullptr,
                                Strictness strictness = Strictness::strict);
  // Reads one only when path itself names a regular file (a link in its
  // place is refused, ELOOP) of at most maxSize bytes, in a folder reached
  // from the host root without a link on the way (see TreePath): for files
  // in folders other users can write to. The checks apply to what was
  // opened, so the file cannot be swapped between a check and the read.
  static Result<Value> readRegularFile(const std::string& path, std::uint64_t maxSize, Format* format = nullptr,
                                       Strictness strictness = Strictness::strict);
  // Writes atomically: a temporary file in the same folder, flushed, given
  // `mode`, then renamed over `path`. A failure leaves `path` untouched.
  static Result<void> writeFile(const std::string& path, const Value& value, Format format = Format::binary,
                                mode_t mode = 0644);

  // Writes bytes atomically the same way (AtomicFile::write, which also
  // flushes the folder after the rename); shared by other file writers.
  static Result<void> writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0644);
};

}  // namespace vozi::platform
