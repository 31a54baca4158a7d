#pragma once

#include "common/LanguagesGroup.h"

namespace vozi {

// Unused localisations of the system.
class SystemLanguagesGroup : public LanguagesGroup {
 public:
  static constexpr std::string_view kClassName = "SystemLanguagesGroup";

  using LanguagesGroup::LanguagesGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<SystemLanguagesGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
