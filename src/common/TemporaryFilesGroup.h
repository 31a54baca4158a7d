#pragma once

#include "common/FileRepresentableGroup.h"

namespace vozi {

// Temporary files.
class TemporaryFilesGroup : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "TemporaryFilesGroup";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<TemporaryFilesGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
