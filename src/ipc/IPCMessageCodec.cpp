#include "ipc/IPCMessageCodec.h"

#include "platform/CocoaError.h"
#include "platform/Json.h"

namespace vozi {

using platform::Value;

platform::Result<Value::Dictionary> IPCMessageCodec::decode(std::string_view piece) {
  // JSON has no place for a raw NUL byte, but the parser underneath takes one
  // for the end of the text and would accept "{...}\0<anything>".
  if (piece.find('\0') != std::string_view::npos)
    return platform::CocoaError::make(platform::CocoaError::propertyListReadCorrupt,
                                      "A request must not hold a NUL byte.");
  // The parser would skip a byte-order mark; senders must not write one
  // (RFC 8259), and the line splitter, which hands out a request as soon as
  // its object closes, does not look for one either.
  if (piece.starts_with("\xEF\xBB\xBF"))
    return platform::CocoaError::make(platform::CocoaError::propertyListReadCorrupt,
                                      "A request must not begin with a byte-order mark.");
  auto parsed = platform::Json::parse(piece);
  if (!parsed) return parsed.error();
  if (auto* dictionary = parsed->asDictionary()) return std::move(*dictionary);
  return platform::CocoaError::make(platform::CocoaError::propertyListReadCorrupt,
                                    "A request must be a JSON object, not an array.");
}

platform::Result<std::string> IPCMessageCodec::encode(const Value::Dictionary& message) {
  return platform::Json::serialize(Value(message));
}

}  // namespace vozi
