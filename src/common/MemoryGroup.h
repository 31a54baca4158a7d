#pragma once

#include "common/ItemGroup.h"

namespace vozi {

// The memory group: the memory clean adds one reading to it. It names no
// container of its own; its first addItem gives it an array.
class MemoryGroup : public ItemGroup {
 public:
  static constexpr std::string_view kClassName = "MemoryGroup";

  using ItemGroup::ItemGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<MemoryGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
