#pragma once

#include "common/FileRepresentableGroup.h"

namespace vozi {

// The user's cache files.
class UserCacheGroup : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "UserCacheGroup";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<UserCacheGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
