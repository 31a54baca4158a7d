#pragma once

#include "common/FileRepresentableGroup.h"

namespace vozi {

// System log files.
class SystemLogsGroup : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "SystemLogsGroup";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<SystemLogsGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
