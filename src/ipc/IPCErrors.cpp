#include "ipc/IPCErrors.h"

#include "ipc/RemoteMessageKey.h"
#include "platform/ErrorValue.h"

namespace vozi {

template <>
std::optional<ApplicationStateErrorCode> fromRawValue<ApplicationStateErrorCode>(long raw) {
  if (raw == 0) return ApplicationStateErrorCode::unknown;
  if (raw == 1) return ApplicationStateErrorCode::connection;
  return std::nullopt;
}

template <>
std::optional<UserEmailSetErrorCode> fromRawValue<UserEmailSetErrorCode>(long raw) {
  if (raw == 0) return UserEmailSetErrorCode::unknown;
  if (raw == 1) return UserEmailSetErrorCode::connection;
  return std::nullopt;
}

platform::Value::Dictionary ipcRepresentations(const platform::Error& error) {
  using platform::ErrorValue;
  using platform::Value;
  Value::Dictionary result;
  result[RemoteMessageKey::Error::code] = Value(static_cast<std::int64_t>(error.code));
  result[RemoteMessageKey::Error::domain] = Value(error.domain);
  // Iterative rather than recursive so that a long chain cannot exhaust the stack.
  Value::Dictionary* level = &result;
  std::optional<platform::Error> underlying = ErrorValue::underlyingError(error);
  while (underlying) {
    Value::Dictionary nested;
    nested[RemoteMessageKey::Error::code] = Value(static_cast<std::int64_t>(underlying->code));
    nested[RemoteMessageKey::Error::domain] = Value(underlying->domain);
    auto next = ErrorValue::underlyingError(*underlying);
    Value& slot = (*level)[ErrorValue::underlyingErrorKey] = Value(std::move(nested));
    level = slot.asDictionary();
    underlying = std::move(next);
  }
  return result;
}

}  // namespace vozi
