#include "store/IModelItemCoreDataExtensions.h"

#include "store/CoreDataFatalError.h"

namespace vozi {

std::string IModelItemCoreDataExtensions::storedModelName(const IModelItem& item) {
  return "MO" + std::string(item.className());
}

const platform::EntityDescription& IModelItemCoreDataExtensions::storedModelClass(
    const IModelItem& item, const platform::ManagedObjectModel& model) {
  const std::string name = storedModelName(item);
  const platform::EntityDescription* entity = model.entity(name);
  if (!entity) coreDataFatalError("No stored class " + name + " for records of class " + std::string(item.className()));
  return *entity;
}

}  // namespace vozi
