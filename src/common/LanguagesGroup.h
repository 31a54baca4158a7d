#pragma once

#include "common/ItemGroup.h"
#include "common/ModelItemDictionary.h"

namespace vozi {

// Unused localisations, keyed by language name.
class LanguagesGroup : public ItemGroup {
 public:
  static constexpr std::string_view kClassName = "LanguagesGroup";

  using ItemGroup::ItemGroup;

  std::shared_ptr<IZOLModelItemMutableCollection> emptyItems() const override {
    return std::make_shared<ModelItemDictionary>();
  }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<LanguagesGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
