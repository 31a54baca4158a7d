#pragma once

#include <cstdint>

#include "store/MOFileItem.h"

namespace vozi {

// A stored file with its file-kind mask.
class MOTypedFileItem : public MOFileItem {
 public:
  static constexpr std::string_view kEntityName = "MOTypedFileItem";

  std::int16_t fileType() const { return static_cast<std::int16_t>(ManagedObject::integer("fileType")); }
  void setFileType(std::int16_t value) { ManagedObject::setInteger("fileType", value); }
};

}  // namespace vozi
