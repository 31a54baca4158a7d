#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/IFileItem.h"
#include "common/ItemGroup.h"
#include "common/MLog.h"
#include "sanitizers/AdditionalUpdates.h"
#include "platform/TreeRemoval.h"
#include "sanitizers/SanitizerCleaningOperation.h"
#include "sanitizers/SanitizerEnvironment.h"

namespace vozi {

// The clean of a group whose leaves are files: deletes every leaf for good
// (no Trash), walking into sub-groups, and trims the tree so that at the
// end it holds exactly what is gone from disk.
//
// A leaf is deleted only when the environment's cleaning scope admits its
// path (canonical, held by the stored scan, under a scan root); without a
// scope nothing is deleted. A refused leaf, one the shouldRemove handler
// vetoes, one whose delete failed (a link on the way included: "Error on
// deleting item: " and its URL is logged) and every leaf not reached
// before a cancellation are dropped from the group and stay on disk. A
// leaf already gone counts as removed and stays. A link is deleted as
// itself, never followed. Each level is trimmed in one pass, and each
// group's size goes down by what its items and sub-groups lost, so sizes
// at every level are those of what was removed. Sub-groups stay, empty or
// not.
//
// One progress unit per leaf reached (the total is the number of leaves).
// After the walk, the media-library updates the tried files call for run
// (AdditionalUpdates); then the last progress and the completion with the
// trimmed group and the cancelled flag. All on the operation's thread.
template <typename Group>
class FileSystemCleaningOperation : public SanitizerCleaningOperation<Group> {
 public:
  using Base = SanitizerCleaningOperation<Group>;
  using typename Base::Completion;
  using typename Base::GroupPtr;
  using typename Base::ProgressHandler;

  FileSystemCleaningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                              SanitizerEnvironment environment)
      : Base(std::move(itemGroup), std::move(completion), std::move(progressHandler)),
        environment_(std::move(environment)) {}

  void main() override {
    MLog("start file system cleaning operation");
    std::uint64_t leaves = 0;
    this->itemGroup()->enumerateLeaves([&leaves](const ModelItemPtr&, bool&) { ++leaves; });
    this->setDuration(leaves);
    recursiveRemoving(*this->itemGroup());
    additionalUpdates_.perform(environment_.userAgentLink);
    this->progressDidFinish();
    this->complete(this->itemGroup(), this->isCancelled());
  }

  // Cleans one group of the tree (an application's leftovers, say) the way
  // main() cleans the whole; answers the bytes the group's size went down by.
  std::uint64_t removeItemsInGroup(ItemGroup& group) { return recursiveRemoving(group); }

  const AdditionalUpdates& additionalUpdates() const { return additionalUpdates_; }

 protected:
  const SanitizerEnvironment& environment() const { return environment_; }
  // Whether the cleaning scope lets the clean delete the path; logs a refusal.
  bool admits(const std::string& path) const {
    if (environment_.cleaningScope && environment_.cleaningScope->admits(path)) return true;
    MLog("Outside what the scan found, left in place: " + path);
    return false;
  }

  // Trims `group` in place; answers how much its size went down.
  virtual std::uint64_t recursiveRemoving(ItemGroup& group) {
    if (!group.items()) return 0;
    std::vector<ModelItemPtr> items;
    group.items()->enumerateObjects([&items](const ModelItemPtr& item, const ModelItemKey&, bool&) { items.push_back(item); });
    std::vector<ModelItemPtr> kept;
    kept.reserve(items.size());
    std::uint64_t lost = 0;
    for (const ModelItemPtr& item : items) {
      if (this->isCancelled()) {
        lost += item->size();
        continue;
      }
      if (auto subgroup = std::dynamic_pointer_cast<ItemGroup>(item)) {
        lost += recursiveRemoving(*subgroup);
        kept.push_back(item);
        continue;
      }
      if (removeLeaf(item)) {
        kept.push_back(item);
      } else {
        lost += item->size();
      }
      this->incrementProgress(1);
    }
    if (kept.size() != items.size()) {
      auto trimmed = group.items()->mutableCopy();
      trimmed->removeAll();
      for (const ModelItemPtr& item : kept) trimmed->addItem(item);
      group.setItems(std::move(trimmed));
    }
    const std::uint64_t size = group.size();
    group.setSize(size > lost ? size - lost : 0);
    return size - group.size();
  }

 private:
  // True when the leaf is gone from disk (deleted now or already missing).
  bool removeLeaf(const ModelItemPtr& item) {
    const auto* file = dynamic_cast<const IFileItem*>(item.get());
    if (file == nullptr) {
      MLog("Not a file, left in place: " + item->description());
      return false;
    }
    additionalUpdates_.record(*item);
    if (!this->shouldRemove(item)) return false;
    const std::string path = file->path();
    if (!admits(path)) return false;
    // Nothing there any more counts as removed.
    const auto outcome = platform::TreeRemoval::removeItem(path);
    if (!outcome && outcome.error().code != ENOENT) {
      MLog("Error on deleting item: " + file->url().absoluteString());
      return false;
    }
    this->didRemove(item);
    return true;
  }

  SanitizerEnvironment environment_;
  AdditionalUpdates additionalUpdates_;
};

}  // namespace vozi
