#pragma once

#include <memory>
#include <vector>

#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicateItem.h"
#include "common/DuplicatesGroup.h"
#include "common/ItemGroup.h"
#include "common/MemoryGroup.h"
#include "common/ModelItemArray.h"
#include "common/ModelItemDictionary.h"
#include "common/ModelItemOrderedSet.h"
#include "store/MOItemGroup.h"

namespace vozi {

class MOApplicationItem;
class MODuplicateItem;

// Rebuilding runtime groups, with their subtrees, from stored groups. Nothing
// here touches the store; it only reads stored records, on the context's
// queue. A record that can't be rebuilt gives null; a child that can't be
// rebuilt is left out of its group; a stored member set holding a record of
// an unexpected entity gives no container at all rather than a partial one.
class ItemGroupCoreDataExtensions {
 public:
  // The group-level fields of a stored group as a plain ItemGroup without a
  // container; null when the stored name is absent. The size is the stored
  // one, or 0 when that is not above 0.
  static ItemGroupPtr emptyItemGroup(const MOItemGroup& storedModel);

  // One rebuilder per stored kind.
  static std::shared_ptr<DuplicatesGroup> duplicatesGroup(const MOItemGroup& storedModel);
  static std::shared_ptr<DuplicateItem> duplicateItem(const MODuplicateItem& storedModel);
  static std::shared_ptr<ApplicationsGroup> applicationsGroup(const MOItemGroup& storedModel);
  static std::shared_ptr<ApplicationItem> applicationItem(const MOApplicationItem& storedModel);
  static std::shared_ptr<BigFilesGroup> bigFilesGroup(const MOItemGroup& storedModel);
  static std::shared_ptr<MemoryGroup> memoryGroup(const MOItemGroup& storedModel);
  // The groups of plain files: mail attachments, shredder, temporary files,
  // user and system logs and caches, Trash.
  template <class Group>
  static std::shared_ptr<Group> fileGroup(const MOItemGroup& storedModel);
  // The two language groups.
  template <class Group>
  static std::shared_ptr<Group> languagesGroup(const MOItemGroup& storedModel);

  // Member converters; null when a member is not of the expected entity.
  // Plain file records (the files of a file group, an application's
  // leftovers, a language's files), whatever stored file entity they are.
  static std::shared_ptr<ModelItemArray> convertedFileItems(const std::vector<MOModelItemPtr>& stored);
  // Big files, with their kinds.
  static std::shared_ptr<ModelItemArray> convertedBigFileItems(const std::vector<MOModelItemPtr>& stored);
  // The typed files of one duplicate set; files with the same path give one.
  static std::shared_ptr<ModelItemOrderedSet> convertedDuplicateFileItems(const std::vector<MOModelItemPtr>& stored);
  static std::shared_ptr<ModelItemArray> convertedDuplicateItems(const std::vector<MOModelItemPtr>& stored);
  static std::shared_ptr<ModelItemArray> convertedApplicationItems(const std::vector<MOModelItemPtr>& stored);
  // Keyed by each language's name; a later language of the same name wins.
  static std::shared_ptr<ModelItemDictionary> convertedLanguageItems(const std::vector<MOModelItemPtr>& stored);
  static std::shared_ptr<ModelItemArray> convertedMemoryItems(const std::vector<MOModelItemPtr>& stored);
};

}  // namespace vozi
