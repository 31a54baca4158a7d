#include "store/MOItemGroup.h"

#include "store/StoredValues.h"

namespace vozi {

void MOItemGroup::updateWithRuntimeModel(const ItemGroup& group) {
  setName(group.name());
  setSize(StoredValues::storedSize(group.size()));
  setIdentifier(group.identifier());
}

}  // namespace vozi
