#pragma once

#include "common/LanguagesGroup.h"

namespace vozi {

// Unused localisations of applications.
class ApplicationsLanguagesGroup : public LanguagesGroup {
 public:
  static constexpr std::string_view kClassName = "ApplicationsLanguagesGroup";

  using LanguagesGroup::LanguagesGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<ApplicationsLanguagesGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
