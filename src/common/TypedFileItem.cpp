#include "common/TypedFileItem.h"

namespace vozi {

std::string TypedFileItem::description() const {
  return FileItem::description() + " FileType " + std::to_string(static_cast<long>(fileType_)) + ".";
}

}  // namespace vozi
