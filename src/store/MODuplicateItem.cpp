#include "store/MODuplicateItem.h"

#include "common/DuplicateItem.h"
#include "store/CoreDataFatalError.h"

namespace vozi {

void MODuplicateItem::updateWithRuntimeModel(const ItemGroup& group) {
  const auto* duplicate = dynamic_cast<const DuplicateItem*>(&group);
  if (!duplicate) coreDataFatalError("A duplicate set can only be updated from a DuplicateItem");
  MOItemGroup::updateWithRuntimeModel(group);
  setStoredHash(duplicate->fileDataHash());
}

}  // namespace vozi
