#pragma once

#include "common/FileRepresentableGroup.h"

namespace vozi {

// The user's log files.
class UserLogsGroup : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "UserLogsGroup";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<UserLogsGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
