#pragma once

#include "common/TypedFileItem.h"

namespace vozi {

// A file found by the big-files search, sorted into a size bucket.
class BigFileItem : public TypedFileItem {
 public:
  static constexpr std::string_view kClassName = "BigFileItem";

  using TypedFileItem::TypedFileItem;

  // The ordinal of its FileSizeCategory; a size on a bound falls into the
  // bucket below it.
  long fileSizeCategory() const;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<BigFileItem>(*this); }
  std::string_view className() const override { return kClassName; }
  std::string description() const override;
};

}  // namespace vozi
