#pragma once

#include "common/FileRepresentableGroup.h"

namespace vozi {

// One unused localisation with its files; identified by its name as it is.
class LanguageItem : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "LanguageItem";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::optional<std::string> identifier() const override { return name(); }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<LanguageItem>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
