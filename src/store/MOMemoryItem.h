#pragma once

#include <cstdint>

#include "store/MOModelItem.h"

namespace vozi {

// A stored memory reading.
class MOMemoryItem : public MOModelItem {
 public:
  static constexpr std::string_view kEntityName = "MOMemoryItem";

  std::int64_t installedMemorySize() const { return ManagedObject::integer("installedMemorySize"); }
  void setInstalledMemorySize(std::int64_t value) { ManagedObject::setInteger("installedMemorySize", value); }
};

}  // namespace vozi
