#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/Value.h"
#include "platform/store/ManagedObject.h"

namespace vozi {

// One backend event waiting to be sent.
class MOEvent : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOEvent";

  std::optional<platform::Data> backendJsonRepresentationData() const { return ManagedObject::data("backendJsonRepresentationData"); }
  void setBackendJsonRepresentationData(std::optional<platform::Data> value) { ManagedObject::setData("backendJsonRepresentationData", std::move(value)); }
  std::optional<platform::Date> date() const { return ManagedObject::date("date"); }
  void setDate(std::optional<platform::Date> value) { ManagedObject::setDate("date", std::move(value)); }
  std::optional<std::string> eventType() const { return ManagedObject::string("eventType"); }
  void setEventType(std::optional<std::string> value) { ManagedObject::setString("eventType", std::move(value)); }
};

}  // namespace vozi
