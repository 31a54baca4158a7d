#pragma once

#include "common/TypedFileItem.h"

namespace vozi {

// A file found by the big-files search, sorted into a size bucket.
class BigFileItem : public TypedFileItem {
 public:
  static constexpr std::string_view kClassName = "BigFileItem";

  using TypedFileItem::TypedFileItem;

  // 0: above 1 GiB; 1: above 524228000 bytes; 3: below 52422801 bytes; 2 otherwise.
  long fileSizeCategory() const;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<BigFileItem>(*this); }
  std::string_view className() const override { return kClassName; }
  std::string description() const override;
};

}  // namespace vozi
