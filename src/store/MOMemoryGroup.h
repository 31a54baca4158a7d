#pragma once

#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOItemGroup.h"

namespace vozi {

// The stored memory readings.
class MOMemoryGroup : public MOItemGroup {
 public:
  static constexpr std::string_view kEntityName = "MOMemoryGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::memoryGroup(*this); }
};

}  // namespace vozi
