#pragma once

#include <optional>

#include "platform/Error.h"
#include "platform/Value.h"

namespace vozi::platform {

// An error boxed as a Value, so that one error can sit in another's user
// information (under underlyingErrorKey) and be told apart from a plain
// dictionary. The box is a dictionary with exactly three entries:
// "NSErrorDomain" (string), "NSErrorCode" (integer) and "NSErrorUserInfo"
// (dictionary).
class ErrorValue {
 public:
  // The user-information key under which an error keeps the error behind it:
  // the text the UI's own error type uses for it, which it looks up in the
  // errors it receives.
  static constexpr const char* underlyingErrorKey = "NSUnderlyingError";

  static Value box(const Error& error);
  // The boxed error, or nothing when the value is not a box made by box().
  static std::optional<Error> unbox(const Value& value);

  // The error held under underlyingErrorKey, when there is one.
  static std::optional<Error> underlyingError(const Error& error);
  // A copy of the error with `underlying` boxed under underlyingErrorKey.
  static Error withUnderlyingError(Error error, const Error& underlying);
};

}  // namespace vozi::platform
