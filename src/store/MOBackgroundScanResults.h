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

class MOScanGroup;

// Results of a background scan.
class MOBackgroundScanResults : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOBackgroundScanResults";

  std::optional<platform::Date> created() const { return ManagedObject::date("created"); }
  void setCreated(std::optional<platform::Date> value) { ManagedObject::setDate("created", std::move(value)); }
  std::vector<std::shared_ptr<MOScanGroup>> scanGroup() const;
  void addScanGroupObject(const std::shared_ptr<MOScanGroup>& object);
  void removeScanGroupObject(const std::shared_ptr<MOScanGroup>& object);
};

}  // namespace vozi
