#include "common/ZOLEventType.h"

namespace vozi {

std::string_view rawValue(ZOLEventType type) {
  switch (type) {
    case ZOLEventType::cleanResults: return "cleanResults";
    case ZOLEventType::userEvent: return "userEvent";
  }
  return {};
}

template <>
std::optional<ZOLEventType> fromRawValue<ZOLEventType>(std::string_view raw) {
  if (raw == "cleanResults") return ZOLEventType::cleanResults;
  if (raw == "userEvent") return ZOLEventType::userEvent;
  return std::nullopt;
}

}  // namespace vozi
