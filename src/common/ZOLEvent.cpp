#include "common/ZOLEvent.h"

#include "platform/Json.h"

namespace vozi {

std::optional<ZOLEvent> ZOLEvent::fromStored(const std::optional<platform::Date>& date,
                                             const std::optional<std::string>& eventType,
                                             const std::optional<platform::Data>& backendJsonRepresentationData) {
  if (!date || !eventType || !backendJsonRepresentationData) return std::nullopt;
  const auto type = fromRawValue<ZOLEventType>(*eventType);
  if (!type) return std::nullopt;
  const auto& bytes = *backendJsonRepresentationData;
  auto parsed = platform::Json::parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (!parsed || !parsed->isDictionary()) return std::nullopt;
  return ZOLEvent(*date, *type, std::move(*parsed->asDictionary()));
}

std::optional<platform::Data> ZOLEvent::backendJsonRepresentationData() const {
  auto text = platform::Json::serialize(platform::Value(backendJsonRepresentation_));
  if (!text) return std::nullopt;
  return platform::Data(text->begin(), text->end());
}

}  // namespace vozi
