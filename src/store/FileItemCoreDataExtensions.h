#pragma once

#include <memory>

#include "common/BigFileItem.h"
#include "common/FileItem.h"
#include "common/TypedFileItem.h"
#include "store/MOFileItem.h"
#include "store/MOTypedFileItem.h"

namespace vozi {

// File records rebuilt from their stored twins.
class FileItemCoreDataExtensions {
 public:
  // URL from the stored path, the stored size and last-open date. A stored
  // record without a path names no file and gives null.
  static std::shared_ptr<FileItem> fileItem(const MOFileItem& storedModel);
  // The same, with the stored file kind.
  static std::shared_ptr<TypedFileItem> typedFileItem(const MOTypedFileItem& storedModel);
  static std::shared_ptr<BigFileItem> bigFileItem(const MOTypedFileItem& storedModel);
};

}  // namespace vozi
