#pragma once

#include <initializer_list>
#include <optional>
#include <string_view>

namespace vozi {

// The case of a string enumeration whose raw value is `raw`, if any. Each
// enumeration specialises this beside its rawValue() overload.
template <typename Enum>
std::optional<Enum> fromRawValue(std::string_view raw);

// The first of `cases` whose rawValue() is exactly `raw`: the search a
// string enumeration's fromRawValue makes over its cases.
template <typename Cases>
auto caseWithRawValue(const Cases& cases, std::string_view raw) -> std::optional<typename Cases::value_type> {
  for (const auto& value : cases)
    if (rawValue(value) == raw) return value;
  return std::nullopt;
}
template <typename Enum>
std::optional<Enum> caseWithRawValue(std::initializer_list<Enum> cases, std::string_view raw) {
  for (const Enum value : cases)
    if (rawValue(value) == raw) return value;
  return std::nullopt;
}

}  // namespace vozi
