#pragma once

#include "common/SystemLanguagesGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOItemGroup.h"

namespace vozi {

// The stored unused localisations of the system.
class MOSystemLanguagesGroup : public MOItemGroup {
 public:
  static constexpr std::string_view kEntityName = "MOSystemLanguagesGroup";

  ItemGroupPtr createRuntimeModel() const override {
    return ItemGroupCoreDataExtensions::languagesGroup<SystemLanguagesGroup>(*this);
  }
};

}  // namespace vozi
