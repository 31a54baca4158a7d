#pragma once

#include "common/FileRepresentableGroup.h"
#include "common/IFileTypedGroup.h"

namespace vozi {

// A group of files of some kinds.
class FileTypedGroup : public FileRepresentableGroup, public IFileTypedGroup {
 public:
  static constexpr std::string_view kClassName = "FileTypedGroup";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::uint64_t fileItemTypes() const override { return fileItemTypes_; }
  void setFileItemTypes(std::uint64_t types) override { fileItemTypes_ = types; }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<FileTypedGroup>(*this); }
  std::string_view className() const override { return kClassName; }

 private:
  std::uint64_t fileItemTypes_ = 0;
};

}  // namespace vozi
