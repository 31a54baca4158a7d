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

// A named section of a sub-group with its size.
class MOScanSection : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOScanSection";

  std::optional<std::string> name() const { return ManagedObject::string("name"); }
  void setName(std::optional<std::string> value) { ManagedObject::setString("name", std::move(value)); }
  std::int64_t size() const { return ManagedObject::integer("size"); }
  void setSize(std::int64_t value) { ManagedObject::setInteger("size", value); }
  std::shared_ptr<MOScanSubGroup> scanSubGroup() const;
  void setScanSubGroup(const std::shared_ptr<MOScanSubGroup>& object);
};

}  // namespace vozi
