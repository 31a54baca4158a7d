#pragma once

#include <string>
#include <string_view>

#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// Reads and writes JSON text as Values, compactly ({"a":1,"b":[true,null]}).
//
// Numbers keep their kind: integers read back as int64, or as uint64 when
// above INT64_MAX; reals (written with a fraction or exponent, "5.0" for an
// integral real) read back as double, bit for bit. Strings must be UTF-8.
// The top level must be an object or an array unless fragments are allowed.
// Containers nest at most Json::kMaxDepth levels. JSON has no dates or
// data: writing them is an error unless the options convert them (a date to
// its seconds since 2001, data to a base64 string); reading never gives
// them back. NaN and infinities cannot be written. Malformed input is an
// error, never an exception or a partial value.
class Json {
 public:
  static constexpr std::size_t kMaxDepth = 512;

  struct WriteOptions {
    bool allowFragments = false;
    bool datesAsSecondsSince2001 = false;
    bool dataAsBase64 = false;
  };

  static Result<Value> parse(std::string_view text, bool allowFragments = false);
  static Result<std::string> serialize(const Value& value, const WriteOptions& options);
  static Result<std::string> serialize(const Value& value) { return serialize(value, WriteOptions{}); }

  // Appends `text` as a JSON string, quoted and escaped as `serialize` writes
  // it, for writers that stream a large document instead of building its
  // Value first. Fails, appending nothing, when `text` is not UTF-8.
  static bool appendString(std::string& out, std::string_view text);
};

}  // namespace vozi::platform
