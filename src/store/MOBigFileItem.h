#pragma once

#include "store/MOTypedFileItem.h"

namespace vozi {

// A stored file of the big-files search.
class MOBigFileItem : public MOTypedFileItem {
 public:
  static constexpr std::string_view kEntityName = "MOBigFileItem";
};

}  // namespace vozi
