#pragma once

#include <optional>
#include <string_view>

namespace vozi {

// The case of a string enumeration whose raw value is `raw`, if any. Each
// enumeration specialises this beside its rawValue() overload.
template <typename Enum>
std::optional<Enum> fromRawValue(std::string_view raw);

}  // namespace vozi
