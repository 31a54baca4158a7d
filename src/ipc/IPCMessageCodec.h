#pragma once

#include <string>
#include <string_view>

#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi {

// The JSON form of one socket message, in both directions. A request is one
// JSON object in UTF-8 (a bare value or an array is refused); a reply is
// written compactly, with no line terminator.
class IPCMessageCodec {
 public:
  // The request in one line of the stream, or why it cannot be one.
  static platform::Result<platform::Value::Dictionary> decode(std::string_view piece);
  // The reply's JSON text; fails for values JSON cannot carry (dates, data,
  // NaN, text that is not UTF-8).
  static platform::Result<std::string> encode(const platform::Value::Dictionary& message);
};

}  // namespace vozi
