#pragma once

#include "common/ApplicationsLanguagesGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOItemGroup.h"

namespace vozi {

// The stored unused localisations of applications.
class MOApplicationsLanguagesGroup : public MOItemGroup {
 public:
  static constexpr std::string_view kEntityName = "MOApplicationsLanguagesGroup";

  ItemGroupPtr createRuntimeModel() const override {
    return ItemGroupCoreDataExtensions::languagesGroup<ApplicationsLanguagesGroup>(*this);
  }
};

}  // namespace vozi
