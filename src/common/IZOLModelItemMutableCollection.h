#pragma once

#include <vector>

#include "common/IZOLModelItemCollection.h"

namespace vozi {

// What an addition did to a container, so that the owning group can keep its
// size equal to the sizes of the items it holds.
struct ModelItemAddResult {
  // True when the container took the item: it grew, or the item replaced
  // another one. False when the item was already held or can't be held.
  bool added = false;
  // The item the addition pushed out (a dictionary entry of the same name).
  ModelItemPtr replaced;
};

class IZOLModelItemMutableCollection : public IZOLModelItemCollection {
 public:
  // A null item is ignored.
  virtual ModelItemAddResult addItem(const ModelItemPtr& item) = 0;
  // Removes what the container holds for the item; returns the removed items.
  virtual std::vector<ModelItemPtr> removeItem(const ModelItemPtr& item) = 0;
  virtual void removeAll() = 0;
};

}  // namespace vozi
