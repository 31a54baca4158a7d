#pragma once

#include "common/FileRepresentableGroup.h"

namespace vozi {

// System cache files.
class SystemCacheGroup : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "SystemCacheGroup";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<SystemCacheGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
