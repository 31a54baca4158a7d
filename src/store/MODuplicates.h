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

class MODupsDetails;
class MOScanSubGroup;

// One set of duplicate files.
class MODuplicates : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MODuplicates";

  std::optional<std::string> name() const { return ManagedObject::string("name"); }
  void setName(std::optional<std::string> value) { ManagedObject::setString("name", std::move(value)); }
  std::int64_t size() const { return ManagedObject::integer("size"); }
  void setSize(std::int64_t value) { ManagedObject::setInteger("size", value); }
  std::vector<std::shared_ptr<MODupsDetails>> dups() const;
  void addDupsObject(const std::shared_ptr<MODupsDetails>& object);
  void removeDupsObject(const std::shared_ptr<MODupsDetails>& object);
  std::shared_ptr<MOScanSubGroup> subGroupId() const;
  void setSubGroupId(const std::shared_ptr<MOScanSubGroup>& object);
};

}  // namespace vozi
