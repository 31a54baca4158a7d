#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/IModelItem.h"
#include "common/IZOLModelItemMutableCollection.h"
#include "common/ItemGroupName.h"
#include "common/ZOLMItemGroupHistory.h"

namespace vozi {

// Called once per leaf of a group tree; setting `stop` ends the walk of the
// container the leaf is in.
using ModelItemLeafBlock = std::function<void(const ModelItemPtr& item, bool& stop)>;

// A named, sized container of model items: the result of scanning one kind of
// item, or a node inside such a result (a duplicate set, an application with
// its leftovers, a language). The size is kept by addItem/removeItem/removeAll
// as the sum of the sizes of the items held; it is not recomputed from them.
class ItemGroup : public IModelItem {
 public:
  static constexpr std::string_view kClassName = "ItemGroup";

  // Takes a mutable copy of `items` (absent stays absent) and keeps both
  // histories as given. The identifier argument is not kept: a group derives
  // its identifier from its name.
  ItemGroup(std::optional<std::string> name, std::uint64_t size, const std::shared_ptr<IZOLModelItemCollection>& items,
            std::optional<std::string> identifier, ItemGroupHistoryPtr scanningHistory,
            ItemGroupHistoryPtr cleaningHistory);
  // Reads the group keys of an archived group, all but its items, which
  // decodeItems() reads once the object is complete (the container's kind
  // depends on the class).
  explicit ItemGroup(platform::KeyedUnarchiver& unarchiver);
  // A copy holds a new container with the same child objects, and copies of
  // the histories.
  ItemGroup(const ItemGroup& other);
  ItemGroup& operator=(const ItemGroup&) = delete;

  // A new empty group of the class that belongs to the name, named after it.
  static std::shared_ptr<ItemGroup> group(ItemGroupName name);

  // The name, percent-encoded as a URL path.
  std::optional<std::string> identifier() const override;
  std::optional<std::string> name() const override { return name_; }
  std::uint64_t size() const override { return size_; }
  void setSize(std::uint64_t size) { size_ = size; }

  const std::shared_ptr<IZOLModelItemMutableCollection>& items() const { return items_; }
  void setItems(std::shared_ptr<IZOLModelItemMutableCollection> items) { items_ = std::move(items); }

  const ItemGroupHistoryPtr& scanningHistory() const { return scanningHistory_; }
  const ItemGroupHistoryPtr& cleaningHistory() const { return cleaningHistory_; }

  // Adds the item (a null item is ignored), creating the container on first
  // use, and grows the size by what the container took: nothing when it
  // already held the item; the difference when the item replaced another.
  virtual void addItem(const ModelItemPtr& item);
  // Removes the item (a null item is ignored) and shrinks the size by the
  // sizes of the items the container gave up.
  void removeItem(const ModelItemPtr& item);
  // Empties the container and sets the size to 0.
  void removeAll();

  // Each direct child with its key, in the container's order.
  void enumerateObjects(const ModelItemEnumerationBlock& block) const;
  // Each leaf of the subtree; child groups are descended into, never handed
  // to the block themselves.
  void enumerateLeaves(const ModelItemLeafBlock& block) const;
  ModelItemPtr itemForKey(const ModelItemKey& key) const;
  // The first child, or null.
  ModelItemPtr anyItem() const;
  // The number of direct children (0 without a container).
  std::size_t count() const;

  // Record the current size, stamped now, in the scanning or cleaning
  // history, creating the history when there is none.
  void updateScanningHistory();
  void updateCleaningHistory();

  // The container a group of this class starts with; null when the class
  // names none.
  virtual std::shared_ptr<IZOLModelItemMutableCollection> emptyItems() const { return nullptr; }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<ItemGroup>(*this); }
  std::string_view className() const override { return kClassName; }
  std::string description() const override;
  void encode(platform::KeyedArchiver& archiver) const override;
  // Reads the archived "items" as a container of this class's kind (an
  // array for a class that names none).
  void decodeItems(platform::KeyedUnarchiver& unarchiver);

 private:
  std::optional<std::string> name_;
  std::uint64_t size_;
  std::shared_ptr<IZOLModelItemMutableCollection> items_;
  ItemGroupHistoryPtr scanningHistory_;
  ItemGroupHistoryPtr cleaningHistory_;
};

using ItemGroupPtr = std::shared_ptr<ItemGroup>;

}  // namespace vozi
