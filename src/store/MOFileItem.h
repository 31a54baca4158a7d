#pragma once

#include <optional>
#include <string>

#include "platform/Date.h"
#include "store/MOModelItem.h"

namespace vozi {

// A stored file or folder.
class MOFileItem : public MOModelItem {
 public:
  static constexpr std::string_view kEntityName = "MOFileItem";

  std::optional<platform::Date> lastOpenDate() const { return ManagedObject::date("lastOpenDate"); }
  void setLastOpenDate(std::optional<platform::Date> value) { ManagedObject::setDate("lastOpenDate", value); }
  std::optional<std::string> path() const { return ManagedObject::string("path"); }
  void setPath(std::optional<std::string> value) { ManagedObject::setString("path", std::move(value)); }
};

}  // namespace vozi
