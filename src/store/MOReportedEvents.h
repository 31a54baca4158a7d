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

// A reported event with its creation date.
class MOReportedEvents : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOReportedEvents";

  std::optional<std::string> action() const { return ManagedObject::string("action"); }
  void setAction(std::optional<std::string> value) { ManagedObject::setString("action", std::move(value)); }
  std::optional<std::string> category() const { return ManagedObject::string("category"); }
  void setCategory(std::optional<std::string> value) { ManagedObject::setString("category", std::move(value)); }
  std::optional<platform::Date> created() const { return ManagedObject::date("created"); }
  void setCreated(std::optional<platform::Date> value) { ManagedObject::setDate("created", std::move(value)); }
  std::optional<std::string> name() const { return ManagedObject::string("name"); }
  void setName(std::optional<std::string> value) { ManagedObject::setString("name", std::move(value)); }
  std::optional<std::string> value() const { return ManagedObject::string("value"); }
  void setValue(std::optional<std::string> value) { ManagedObject::setString("value", std::move(value)); }
};

}  // namespace vozi
