#pragma once

#include <optional>

#include "platform/Error.h"
#include "platform/Value.h"

namespace vozi {

// Error domains the daemon shares with its UI application.
inline constexpr char ApplicationStateErrorDomain[] = "ApplicationStateError";
inline constexpr char UserEmailSetErrorDomain[] = "UserEmailSetErrorDomain";

enum class ApplicationStateErrorCode : long { unknown = 0, connection = 1 };
enum class UserEmailSetErrorCode : long { unknown = 0, connection = 1 };

// The case of an integer enumeration whose raw value is `raw`, if any.
template <typename Enum>
std::optional<Enum> fromRawValue(long raw);

constexpr long rawValue(ApplicationStateErrorCode code) { return static_cast<long>(code); }
constexpr long rawValue(UserEmailSetErrorCode code) { return static_cast<long>(code); }

template <>
std::optional<ApplicationStateErrorCode> fromRawValue<ApplicationStateErrorCode>(long raw);
template <>
std::optional<UserEmailSetErrorCode> fromRawValue<UserEmailSetErrorCode>(long raw);

// The form in which an error travels inside a socket message: "code" and
// "domain", and, when the error holds an underlying error, that error's own
// form under "NSUnderlyingError" (recursively). Nothing else of the user
// information goes out.
platform::Value::Dictionary ipcRepresentations(const platform::Error& error);

}  // namespace vozi
