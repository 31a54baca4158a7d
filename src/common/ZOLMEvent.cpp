#include "common/ZOLMEvent.h"

#include "common/RecordCoding.h"

namespace vozi {

ZOLMEvent::ZOLMEvent(platform::KeyedUnarchiver& u)
    : name_(recordcoding::decodeRequiredString(u, "name")),
      value_(recordcoding::decodeRequiredString(u, "value")),
      action_(recordcoding::decodeRequiredString(u, "action")),
      category_(recordcoding::decodeRequiredString(u, "category")) {}

void ZOLMEvent::encode(platform::KeyedArchiver& a) const {
  a.encode("name", name_);
  a.encode("value", value_);
  a.encode("action", action_);
  a.encode("category", category_);
}

}  // namespace vozi
