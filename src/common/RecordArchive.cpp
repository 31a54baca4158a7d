#include "common/RecordArchive.h"

#include <mutex>

#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/ApplicationsLanguagesGroup.h"
#include "common/BigFileItem.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicateItem.h"
#include "common/DuplicatesGroup.h"
#include "common/FileItem.h"
#include "common/FileRepresentableGroup.h"
#include "common/FileTypedGroup.h"
#include "common/LanguageItem.h"
#include "common/LanguagesGroup.h"
#include "common/MailAttachmentsGroup.h"
#include "common/MemoryGroup.h"
#include "common/MemoryItem.h"
#include "common/ShredderGroup.h"
#include "common/SystemCacheGroup.h"
#include "common/SystemLanguagesGroup.h"
#include "common/SystemLogsGroup.h"
#include "common/TemporaryFilesGroup.h"
#include "common/TrashBinGroup.h"
#include "common/TypedFileItem.h"
#include "common/UserCacheGroup.h"
#include "common/UserLogsGroup.h"
#include "common/ZOLMApplicationState.h"
#include "common/ZOLMEvent.h"
#include "common/ZOLMItemGroupHistory.h"
#include "common/ZOLMPreferences.h"
#include "common/ZOLMTrackingData.h"
#include "common/ZOLMUserData.h"
#include "platform/ArchiveClassRegistry.h"

namespace vozi {

namespace {

using platform::ArchiveClassRegistry;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

// A group is complete before its items are read: their container's kind
// depends on the group's class.
template <class Group, class Base>
void registerGroup() {
  ArchiveClassRegistry::shared().registerClass<Group, Base>(
      std::string(Group::kClassName), [](const Group& group, KeyedArchiver& archiver) { group.encode(archiver); },
      [](KeyedUnarchiver& unarchiver) {
        auto group = std::make_shared<Group>(unarchiver);
        group->decodeItems(unarchiver);
        return group;
      });
}

template <class Record, class Base = void>
void registerRecord() {
  ArchiveClassRegistry::shared().registerClass<Record, Base>(std::string(Record::kClassName));
}

void registerAll() {
  auto& registry = ArchiveClassRegistry::shared();
  // Model items of every kind share no archived base class; IModelItem
  // only lets a container hold them side by side.
  registry.registerInterface<IModelItem>();

  registerRecord<ZOLMItemGroupHistory>();
  registerRecord<FileItem, IModelItem>();
  registerRecord<TypedFileItem, FileItem>();
  registerRecord<BigFileItem, TypedFileItem>();
  registerRecord<MemoryItem, IModelItem>();

  registerGroup<ItemGroup, IModelItem>();
  registerGroup<MemoryGroup, ItemGroup>();
  registerGroup<ApplicationsGroup, ItemGroup>();
  registerGroup<DuplicatesGroup, ItemGroup>();
  registerGroup<DuplicateItem, ItemGroup>();
  registerGroup<LanguagesGroup, ItemGroup>();
  registerGroup<SystemLanguagesGroup, LanguagesGroup>();
  registerGroup<ApplicationsLanguagesGroup, LanguagesGroup>();
  registerGroup<FileRepresentableGroup, ItemGroup>();
  registerGroup<FileTypedGroup, FileRepresentableGroup>();
  registerGroup<BigFilesGroup, FileTypedGroup>();
  registerGroup<MailAttachmentsGroup, FileTypedGroup>();
  registerGroup<ApplicationItem, FileRepresentableGroup>();
  registerGroup<LanguageItem, FileRepresentableGroup>();
  registerGroup<ShredderGroup, FileRepresentableGroup>();
  registerGroup<SystemCacheGroup, FileRepresentableGroup>();
  registerGroup<SystemLogsGroup, FileRepresentableGroup>();
  registerGroup<UserCacheGroup, FileRepresentableGroup>();
  registerGroup<UserLogsGroup, FileRepresentableGroup>();
  registerGroup<TrashBinGroup, FileRepresentableGroup>();
  registerGroup<TemporaryFilesGroup, FileRepresentableGroup>();

  registerRecord<ZOLMPreferences>();
  registerRecord<ZOLMTrackingData>();
  registerRecord<ZOLMApplicationState>();
  registerRecord<ZOLMEvent>();
  registerRecord<ZOLMUserData>();
}

}  // namespace

void RecordArchive::registerClasses() {
  static std::once_flag once;
  std::call_once(once, registerAll);
}

const platform::AllowedClasses& RecordArchive::itemTreeClasses() {
  static const platform::AllowedClasses classes{
      "ZOLMItemGroupHistory", "FileItem", "ItemGroup", "MemoryItem", "NSMutableArray",
      "NSMutableDictionary",  "NSMutableOrderedSet", "NSURL", "NSDate", "NSData"};
  return classes;
}

platform::Result<platform::Data> RecordArchive::archivedGroups(const std::vector<ItemGroupPtr>& groups) {
  registerClasses();
  return platform::KeyedArchiver::archivedArray(groups);
}

platform::Result<std::vector<ItemGroupPtr>> RecordArchive::unarchivedGroups(const platform::Data& archive,
                                                                            const platform::AllowedClasses& allowed) {
  registerClasses();
  return platform::KeyedUnarchiver::unarchivedArrayWithinClasses<ItemGroup>(archive, allowed);
}

}  // namespace vozi
