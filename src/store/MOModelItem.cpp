#include "store/MOModelItem.h"

#include "store/MOItemGroup.h"

namespace vozi {

std::vector<std::shared_ptr<MOItemGroup>> MOModelItem::itemGroup() const {
  return ManagedObject::objectsAs<MOItemGroup>("itemGroup");
}

}  // namespace vozi
