#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "common/IModelItem.h"

namespace vozi {

class IZOLModelItemMutableCollection;

// The key of an item in its container: its index in an array or ordered set,
// its name in a dictionary.
using ModelItemKey = std::variant<std::size_t, std::string>;

// Called once per item with its key; setting `stop` ends the walk.
using ModelItemEnumerationBlock = std::function<void(const ModelItemPtr& item, const ModelItemKey& key, bool& stop)>;

// The three kinds of item container a group can hold.
enum class ModelItemCollectionKind { array, orderedSet, dictionary };

// A read view of a group's item container.
class IZOLModelItemCollection {
 public:
  virtual ~IZOLModelItemCollection() = default;

  virtual ModelItemCollectionKind kind() const = 0;
  // The item under the key, or null (also for a key of the other form).
  virtual ModelItemPtr itemForKey(const ModelItemKey& key) const = 0;
  // Every item in the container's order.
  virtual void enumerateObjects(const ModelItemEnumerationBlock& block) const = 0;
  // A new container of the same kind holding the same item objects.
  virtual std::shared_ptr<IZOLModelItemMutableCollection> mutableCopy() const = 0;
  // The first item (for a dictionary, the first of its values); null when empty.
  virtual ModelItemPtr anyItem() const = 0;
  virtual std::size_t count() const = 0;
};

}  // namespace vozi
