#pragma once

#include <optional>

#include "platform/Value.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOItemGroup.h"

namespace vozi {

// One stored set of files with equal contents, with the content digest.
class MODuplicateItem : public MOItemGroup {
 public:
  static constexpr std::string_view kEntityName = "MODuplicateItem";

  std::optional<platform::Data> storedHash() const { return ManagedObject::data("storedHash"); }
  void setStoredHash(std::optional<platform::Data> value) { ManagedObject::setData("storedHash", std::move(value)); }

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::duplicateItem(*this); }
  // Takes the set's content digest as well; the runtime group must be a
  // duplicate set (anything else is a programming error and stops the process).
  void updateWithRuntimeModel(const ItemGroup& group) override;
};

}  // namespace vozi
