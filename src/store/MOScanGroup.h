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

class MOBackgroundScanResults;
class MOScanSubGroup;

// One scan or purge run of a scan group; the newest row per name is looked up
// by name and created.
class MOScanGroup : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOScanGroup";

  std::optional<platform::Date> created() const { return ManagedObject::date("created"); }
  void setCreated(std::optional<platform::Date> value) { ManagedObject::setDate("created", std::move(value)); }
  bool isPurge() const { return ManagedObject::boolean("isPurge"); }
  void setIsPurge(bool value) { ManagedObject::setBoolean("isPurge", value); }
  std::optional<platform::Date> lastCleanedDate() const { return ManagedObject::date("lastCleanedDate"); }
  void setLastCleanedDate(std::optional<platform::Date> value) { ManagedObject::setDate("lastCleanedDate", std::move(value)); }
  std::int64_t lastCleanedSize() const { return ManagedObject::integer("lastCleanedSize"); }
  void setLastCleanedSize(std::int64_t value) { ManagedObject::setInteger("lastCleanedSize", value); }
  std::optional<platform::Date> lastScannedDate() const { return ManagedObject::date("lastScannedDate"); }
  void setLastScannedDate(std::optional<platform::Date> value) { ManagedObject::setDate("lastScannedDate", std::move(value)); }
  std::optional<std::string> name() const { return ManagedObject::string("name"); }
  void setName(std::optional<std::string> value) { ManagedObject::setString("name", std::move(value)); }
  std::int64_t size() const { return ManagedObject::integer("size"); }
  void setSize(std::int64_t value) { ManagedObject::setInteger("size", value); }
  std::int64_t totalCleanedSize() const { return ManagedObject::integer("totalCleanedSize"); }
  void setTotalCleanedSize(std::int64_t value) { ManagedObject::setInteger("totalCleanedSize", value); }
  std::optional<std::string> userName() const { return ManagedObject::string("userName"); }
  void setUserName(std::optional<std::string> value) { ManagedObject::setString("userName", std::move(value)); }
  std::shared_ptr<MOBackgroundScanResults> backgroundScan() const;
  void setBackgroundScan(const std::shared_ptr<MOBackgroundScanResults>& object);
  std::vector<std::shared_ptr<MOScanSubGroup>> scanSubGroups() const;
  void addScanSubGroupsObject(const std::shared_ptr<MOScanSubGroup>& object);
  void removeScanSubGroupsObject(const std::shared_ptr<MOScanSubGroup>& object);
};

}  // namespace vozi
