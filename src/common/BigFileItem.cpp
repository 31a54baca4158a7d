#include "common/BigFileItem.h"

#include "common/FileSizeCategory.h"

namespace vozi {

long BigFileItem::fileSizeCategory() const { return static_cast<long>(fileSizeCategoryStrict(size())); }

std::string BigFileItem::description() const {
  return TypedFileItem::description() + " FileSizeCategory " + std::to_string(fileSizeCategory()) + ".";
}

}  // namespace vozi
