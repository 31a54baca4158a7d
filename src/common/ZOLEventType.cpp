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
  return caseWithRawValue({ZOLEventType::cleanResults, ZOLEventType::userEvent}, raw);
}

}  // namespace vozi
