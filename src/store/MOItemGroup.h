#pragma once

#include <memory>
#include <vector>

#include "common/ItemGroup.h"
#include "store/MOItemGroupCleaningHistory.h"
#include "store/MOItemGroupScanningHistory.h"
#include "store/MOModelItem.h"

namespace vozi {

// A stored group: its members (leaf records and child groups) and its
// scanning and cleaning histories. The classes below it that stand for a
// kind of group rebuild their runtime twin through createRuntimeModel().
class MOItemGroup : public MOModelItem {
 public:
  static constexpr std::string_view kEntityName = "MOItemGroup";

  // The runtime group with its whole subtree; null when this class has no
  // runtime kind of its own or the stored record can't be rebuilt.
  virtual ItemGroupPtr createRuntimeModel() const { return nullptr; }
  // Copies the group-level fields (name, size, identifier) of a runtime group;
  // members and histories are left alone.
  virtual void updateWithRuntimeModel(const ItemGroup& group);

  // Members, in no particular order.
  std::vector<MOModelItemPtr> items() const { return ManagedObject::objectsAs<MOModelItem>("items"); }
  std::size_t itemsCount() const { return ManagedObject::objectCount("items"); }
  bool containsItemsObject(const MOModelItemPtr& item) const { return ManagedObject::containsObject("items", item); }
  void addItemsObject(const MOModelItemPtr& item) { ManagedObject::addObject("items", item); }
  void removeItemsObject(const MOModelItemPtr& item) { ManagedObject::removeObject("items", item); }

  std::shared_ptr<MOItemGroupScanningHistory> scanningHistory() const {
    return ManagedObject::objectAs<MOItemGroupScanningHistory>("scanningHistory");
  }
  void setScanningHistory(const std::shared_ptr<MOItemGroupScanningHistory>& history) {
    ManagedObject::setObject("scanningHistory", history);
  }
  std::shared_ptr<MOItemGroupCleaningHistory> cleaningHistory() const {
    return ManagedObject::objectAs<MOItemGroupCleaningHistory>("cleaningHistory");
  }
  void setCleaningHistory(const std::shared_ptr<MOItemGroupCleaningHistory>& history) {
    ManagedObject::setObject("cleaningHistory", history);
  }
};

using MOItemGroupPtr = std::shared_ptr<MOItemGroup>;

}  // namespace vozi
