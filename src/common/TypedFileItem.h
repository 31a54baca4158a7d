#pragma once

#include "common/FileItem.h"
#include "common/ITypedItem.h"

namespace vozi {

// A file item that knows its file kind.
class TypedFileItem : public FileItem, public ITypedItem {
 public:
  static constexpr std::string_view kClassName = "TypedFileItem";

  TypedFileItem(platform::URL url, std::uint64_t size, std::optional<platform::Date> lastOpenDate,
                std::string_view identifier, std::uint64_t fileType)
      : FileItem(std::move(url), size, lastOpenDate, identifier), fileType_(fileType) {}
  explicit TypedFileItem(platform::KeyedUnarchiver& unarchiver);

  std::uint64_t fileType() const override { return fileType_; }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<TypedFileItem>(*this); }
  std::string_view className() const override { return kClassName; }
  std::string description() const override;
  void encode(platform::KeyedArchiver& archiver) const override;

 private:
  std::uint64_t fileType_;
};

}  // namespace vozi
