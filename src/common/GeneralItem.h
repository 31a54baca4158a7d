#pragma once

#include "common/RedundantItem.h"
#include "platform/URL.h"

namespace vozi {

// A removable item on disk.
class GeneralItem : public RedundantItem {
 public:
  virtual const platform::URL& url() const = 0;
};

}  // namespace vozi
