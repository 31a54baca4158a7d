#pragma once

#include <optional>
#include <string_view>

#include "common/RawValue.h"

namespace vozi {

// The kinds of usage event sent to the backend.
enum class ZOLEventType {
  cleanResults,
  userEvent,
};

std::string_view rawValue(ZOLEventType type);

template <>
std::optional<ZOLEventType> fromRawValue<ZOLEventType>(std::string_view raw);

}  // namespace vozi
