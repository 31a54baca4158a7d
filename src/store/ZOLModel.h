#pragma once

#include <memory>
#include <string>

#include "platform/store/ManagedObjectModel.h"

namespace vozi {

// The model of the "ZOL" store: the daemon's own small records, the queue of
// unsent events and the older scan-group result tree.
class ZOLModel {
 public:
  // The model, built once; null with the reason when it does not build.
  static std::shared_ptr<const platform::ManagedObjectModel> make(std::string* failure = nullptr);
};

}  // namespace vozi
