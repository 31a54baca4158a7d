#pragma once

#include <optional>
#include <string>

#include "common/ZOLApplicationState.h"
#include "common/ZOLEventType.h"
#include "platform/Date.h"
#include "platform/Value.h"

namespace vozi {

// A usage event bound for the backend: when it happened, its kind and the
// body sent to the backend (a JSON object).
class ZOLEvent {
 public:
  ZOLEvent(platform::Date date, ZOLEventType eventType, platform::Value::Dictionary backendJsonRepresentation)
      : date_(date), eventType_(eventType), body_(std::move(backendJsonRepresentation)) {}

  // An event from stored fields: all three present, the type one of the
  // known names and the body a JSON object; none otherwise.
  static std::optional<ZOLEvent> fromStoredFields(const std::optional<platform::Date>& date,
                                                  const std::optional<std::string>& eventType,
                                                  const std::optional<platform::Data>& body);

  // A user action the interface reports: the body holds "date" (UTC text),
  // "uuid" (empty: the backend client fills it in), "app_state",
  // "app_build_version" (null without a version) and the four strings.
  static ZOLEvent buttonClickedEvent(platform::Date date, const ZOLApplicationState& app, std::string category,
                                     std::string action, std::string name, std::string value);
  // The outcome of a clean as the interface reports it: "tab", "module" and
  // "cleaned_size", the texts as given.
  static ZOLEvent cleanEvent(std::string tab, std::string scanGroup, std::string cleanedSize, platform::Date date);

  platform::Date date() const { return date_; }
  ZOLEventType eventType() const { return eventType_; }
  const platform::Value::Dictionary& backendJsonRepresentation() const { return body_; }
  // The body serialised as JSON (dates as seconds since 1970, data as
  // base64 text).
  platform::Data backendJsonRepresentationData() const;

  // Equal dates, types and bodies.
  friend bool operator==(const ZOLEvent&, const ZOLEvent&) = default;

 private:
  platform::Date date_;
  ZOLEventType eventType_;
  platform::Value::Dictionary body_;
};

}  // namespace vozi
