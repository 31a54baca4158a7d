#pragma once

#include <string>

#include "common/IModelItem.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObjectModel.h"

namespace vozi {

// How a runtime record names its stored twin: the entity (and class) "MO"
// followed by the record's class name.
class IModelItemCoreDataExtensions {
 public:
  // "MOFileItem" for a FileItem, "MOBigFileItem" for a BigFileItem, ...
  static std::string storedModelName(const IModelItem& item);
  // The entity of that name in the model. A record class without a stored
  // twin is a programming error and stops the process.
  static const platform::EntityDescription& storedModelClass(const IModelItem& item,
                                                             const platform::ManagedObjectModel& model);
};

}  // namespace vozi
