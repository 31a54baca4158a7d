#include "store/ItemGroupCoreDataExtensions.h"

#include "common/ApplicationsLanguagesGroup.h"
#include "common/LanguageItem.h"
#include "common/MailAttachmentsGroup.h"
#include "common/MemoryItem.h"
#include "common/ShredderGroup.h"
#include "common/SystemCacheGroup.h"
#include "common/SystemLanguagesGroup.h"
#include "common/SystemLogsGroup.h"
#include "common/TemporaryFilesGroup.h"
#include "common/TrashBinGroup.h"
#include "common/UserCacheGroup.h"
#include "common/UserLogsGroup.h"
#include "platform/URL.h"
#include "store/FileItemCoreDataExtensions.h"
#include "store/MOApplicationItem.h"
#include "store/MOBigFileItem.h"
#include "store/MODuplicateItem.h"
#include "store/MOLanguageItem.h"
#include "store/MOMemoryItem.h"
#include "store/StoredValues.h"
#include "store/ZOLMItemGroupHistoryCoreDataExtensions.h"

namespace vozi {

namespace {

// Every member must be of the entity class Stored (or below it); one that is
// not spoils the whole set. Each member is converted by `convert`; a member
// that gives null is left out.
template <class Stored, class Container, class Convert>
std::shared_ptr<Container> convertMembers(const std::vector<MOModelItemPtr>& stored, Convert&& convert) {
  std::vector<const Stored*> members;
  members.reserve(stored.size());
  for (const auto& object : stored) {
    const auto* member = dynamic_cast<const Stored*>(object.get());
    if (!member) return nullptr;
    members.push_back(member);
  }
  auto container = std::make_shared<Container>();
  if constexpr (std::is_same_v<Container, ModelItemArray>) container->reserve(members.size());
  for (const Stored* member : members)
    if (ModelItemPtr item = convert(*member)) container->addItem(item);
  return container;
}

// The shared path: group-level fields, the kind's children, the plain group
// initialiser of the kind's class.
template <class Group, class Children>
std::shared_ptr<Group> rebuild(const MOItemGroup& storedModel, Children&& children) {
  const ItemGroupPtr fields = ItemGroupCoreDataExtensions::emptyItemGroup(storedModel);
  if (!fields) return nullptr;
  std::shared_ptr<IZOLModelItemCollection> items = children(storedModel.items());
  return std::make_shared<Group>(fields->name(), fields->size(), items, fields->identifier(),
                                 fields->scanningHistory(), fields->cleaningHistory());
}

}  // namespace

ItemGroupPtr ItemGroupCoreDataExtensions::emptyItemGroup(const MOItemGroup& storedModel) {
  auto name = storedModel.name();
  if (!name) return nullptr;
  return std::make_shared<ItemGroup>(std::move(name), StoredValues::runtimeSize(storedModel.size()), nullptr,
                                     storedModel.identifier().value_or(""),
                                     ZOLMItemGroupHistoryCoreDataExtensions::history(storedModel.scanningHistory().get()),
                                     ZOLMItemGroupHistoryCoreDataExtensions::history(storedModel.cleaningHistory().get()));
}

std::shared_ptr<DuplicatesGroup> ItemGroupCoreDataExtensions::duplicatesGroup(const MOItemGroup& storedModel) {
  return rebuild<DuplicatesGroup>(storedModel, convertedDuplicateItems);
}

std::shared_ptr<DuplicateItem> ItemGroupCoreDataExtensions::duplicateItem(const MODuplicateItem& storedModel) {
  const ItemGroupPtr fields = emptyItemGroup(storedModel);
  if (!fields) return nullptr;
  std::shared_ptr<IZOLModelItemCollection> items = convertedDuplicateFileItems(storedModel.items());
  return std::make_shared<DuplicateItem>(fields->name(), fields->size(), items, fields->identifier(),
                                         fields->scanningHistory(), fields->cleaningHistory(),
                                         storedModel.storedHash());
}

std::shared_ptr<ApplicationsGroup> ItemGroupCoreDataExtensions::applicationsGroup(const MOItemGroup& storedModel) {
  return rebuild<ApplicationsGroup>(storedModel, convertedApplicationItems);
}

std::shared_ptr<ApplicationItem> ItemGroupCoreDataExtensions::applicationItem(const MOApplicationItem& storedModel) {
  const ItemGroupPtr fields = emptyItemGroup(storedModel);
  if (!fields) return nullptr;
  const auto path = storedModel.path();
  if (!path || path->empty()) return nullptr;
  std::optional<platform::URL> icon;
  if (const auto iconPath = storedModel.iconPath(); iconPath && !iconPath->empty())
    icon = platform::URL::fileURLWithPath(*iconPath);
  std::shared_ptr<IZOLModelItemCollection> leftovers = convertedFileItems(storedModel.items());
  return std::make_shared<ApplicationItem>(platform::URL::fileURLWithPath(*path, true), fields->size(), leftovers,
                                           fields->identifier(), fields->scanningHistory(),
                                           fields->cleaningHistory(), icon);
}

std::shared_ptr<BigFilesGroup> ItemGroupCoreDataExtensions::bigFilesGroup(const MOItemGroup& storedModel) {
  return rebuild<BigFilesGroup>(storedModel, convertedBigFileItems);
}

std::shared_ptr<MemoryGroup> ItemGroupCoreDataExtensions::memoryGroup(const MOItemGroup& storedModel) {
  return rebuild<MemoryGroup>(storedModel, convertedMemoryItems);
}

template <class Group>
std::shared_ptr<Group> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup& storedModel) {
  return rebuild<Group>(storedModel, convertedFileItems);
}

template <class Group>
std::shared_ptr<Group> ItemGroupCoreDataExtensions::languagesGroup(const MOItemGroup& storedModel) {
  return rebuild<Group>(storedModel, convertedLanguageItems);
}

template std::shared_ptr<MailAttachmentsGroup> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup&);
template std::shared_ptr<ShredderGroup> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup&);
template std::shared_ptr<TemporaryFilesGroup> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup&);
template std::shared_ptr<UserLogsGroup> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup&);
template std::shared_ptr<UserCacheGroup> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup&);
template std::shared_ptr<SystemCacheGroup> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup&);
template std::shared_ptr<SystemLogsGroup> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup&);
template std::shared_ptr<TrashBinGroup> ItemGroupCoreDataExtensions::fileGroup(const MOItemGroup&);
template std::shared_ptr<SystemLanguagesGroup> ItemGroupCoreDataExtensions::languagesGroup(const MOItemGroup&);
template std::shared_ptr<ApplicationsLanguagesGroup> ItemGroupCoreDataExtensions::languagesGroup(const MOItemGroup&);

std::shared_ptr<ModelItemArray> ItemGroupCoreDataExtensions::convertedFileItems(
    const std::vector<MOModelItemPtr>& stored) {
  return convertMembers<MOFileItem, ModelItemArray>(
      stored, [](const MOFileItem& m) -> ModelItemPtr { return FileItemCoreDataExtensions::fileItem(m); });
}

std::shared_ptr<ModelItemArray> ItemGroupCoreDataExtensions::convertedBigFileItems(
    const std::vector<MOModelItemPtr>& stored) {
  return convertMembers<MOBigFileItem, ModelItemArray>(
      stored, [](const MOBigFileItem& m) -> ModelItemPtr { return FileItemCoreDataExtensions::bigFileItem(m); });
}

std::shared_ptr<ModelItemOrderedSet> ItemGroupCoreDataExtensions::convertedDuplicateFileItems(
    const std::vector<MOModelItemPtr>& stored) {
  return convertMembers<MOTypedFileItem, ModelItemOrderedSet>(
      stored, [](const MOTypedFileItem& m) -> ModelItemPtr { return FileItemCoreDataExtensions::typedFileItem(m); });
}

std::shared_ptr<ModelItemArray> ItemGroupCoreDataExtensions::convertedDuplicateItems(
    const std::vector<MOModelItemPtr>& stored) {
  return convertMembers<MODuplicateItem, ModelItemArray>(
      stored, [](const MODuplicateItem& m) -> ModelItemPtr { return duplicateItem(m); });
}

std::shared_ptr<ModelItemArray> ItemGroupCoreDataExtensions::convertedApplicationItems(
    const std::vector<MOModelItemPtr>& stored) {
  return convertMembers<MOApplicationItem, ModelItemArray>(
      stored, [](const MOApplicationItem& m) -> ModelItemPtr { return applicationItem(m); });
}

std::shared_ptr<ModelItemDictionary> ItemGroupCoreDataExtensions::convertedLanguageItems(
    const std::vector<MOModelItemPtr>& stored) {
  return convertMembers<MOLanguageItem, ModelItemDictionary>(stored, [](const MOLanguageItem& m) -> ModelItemPtr {
    const ItemGroupPtr fields = emptyItemGroup(m);
    if (!fields) return nullptr;
    std::shared_ptr<IZOLModelItemCollection> files = convertedFileItems(m.items());
    return std::make_shared<LanguageItem>(fields->name(), fields->size(), files, fields->identifier(),
                                          fields->scanningHistory(), fields->cleaningHistory());
  });
}

std::shared_ptr<ModelItemArray> ItemGroupCoreDataExtensions::convertedMemoryItems(
    const std::vector<MOModelItemPtr>& stored) {
  return convertMembers<MOMemoryItem, ModelItemArray>(stored, [](const MOMemoryItem& m) -> ModelItemPtr {
    auto identifier = m.identifier();
    auto name = m.name();
    if (!identifier || !name) return nullptr;
    return std::make_shared<MemoryItem>(StoredValues::runtimeSize(m.size()),
                                        StoredValues::runtimeSize(m.installedMemorySize()), std::move(identifier),
                                        std::move(name));
  });
}

}  // namespace vozi
