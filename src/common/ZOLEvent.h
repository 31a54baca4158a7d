#pragma once

#include <optional>
#include <string>

#include "common/ZOLEventType.h"
#include "platform/Date.h"
#include "platform/Value.h"

namespace vozi {

// A usage event bound for the backend: when it happened, its kind and the
// body the backend receives.
class ZOLEvent {
 public:
  ZOLEvent(platform::Date date, ZOLEventType eventType, platform::Value::Dictionary backendJsonRepresentation)
      : date_(date), eventType_(eventType), backendJsonRepresentation_(std::move(backendJsonRepresentation)) {}

  // An event read back from its stored attributes: all three must be
  // present, the type one of the known names and the bytes a JSON object.
  static std::optional<ZOLEvent> fromStored(const std::optional<platform::Date>& date,
                                            const std::optional<std::string>& eventType,
                                            const std::optional<platform::Data>& backendJsonRepresentationData);

  const platform::Date& date() const { return date_; }
  ZOLEventType eventType() const { return eventType_; }
  const platform::Value::Dictionary& backendJsonRepresentation() const { return backendJsonRepresentation_; }
  // The body as JSON bytes; absent when it holds what JSON can't carry
  // (dates, data, non-finite numbers).
  std::optional<platform::Data> backendJsonRepresentationData() const;

  friend bool operator==(const ZOLEvent&, const ZOLEvent&) = default;

 private:
  platform::Date date_;
  ZOLEventType eventType_;
  platform::Value::Dictionary backendJsonRepresentation_;
};

}  // namespace vozi
