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

class MOScanSubGroup;

// An installed application found by a scan.
class MOApplicationsInstalled : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOApplicationsInstalled";

  std::optional<std::string> iconPath() const { return ManagedObject::string("iconPath"); }
  void setIconPath(std::optional<std::string> value) { ManagedObject::setString("iconPath", std::move(value)); }
  std::optional<platform::Date> lastOpen() const { return ManagedObject::date("lastOpen"); }
  void setLastOpen(std::optional<platform::Date> value) { ManagedObject::setDate("lastOpen", std::move(value)); }
  std::optional<std::string> name() const { return ManagedObject::string("name"); }
  void setName(std::optional<std::string> value) { ManagedObject::setString("name", std::move(value)); }
  std::optional<std::string> path() const { return ManagedObject::string("path"); }
  void setPath(std::optional<std::string> value) { ManagedObject::setString("path", std::move(value)); }
  std::int64_t size() const { return ManagedObject::integer("size"); }
  void setSize(std::int64_t value) { ManagedObject::setInteger("size", value); }
  std::int64_t timesLaunched() const { return ManagedObject::integer("timesLaunched"); }
  void setTimesLaunched(std::int64_t value) { ManagedObject::setInteger("timesLaunched", value); }
  std::shared_ptr<MOScanSubGroup> subGroupId() const;
  void setSubGroupId(const std::shared_ptr<MOScanSubGroup>& object);
};

}  // namespace vozi
