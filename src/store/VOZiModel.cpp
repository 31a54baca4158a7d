#include "store/VOZiModel.h"

#include <mutex>

#include "store/MOApplicationItem.h"
#include "store/MOApplicationsGroup.h"
#include "store/MOApplicationsLanguagesGroup.h"
#include "store/MOBigFileItem.h"
#include "store/MOBigFilesGroup.h"
#include "store/MODuplicateItem.h"
#include "store/MODuplicatesGroup.h"
#include "store/MOFileItem.h"
#include "store/MOFileRepresentableGroup.h"
#include "store/MOItemGroup.h"
#include "store/MOItemGroupCleaningHistory.h"
#include "store/MOItemGroupHistory.h"
#include "store/MOItemGroupScanningHistory.h"
#include "store/MOLanguageItem.h"
#include "store/MOLanguagesGroup.h"
#include "store/MOMailAttachmentsGroup.h"
#include "store/MOMemoryGroup.h"
#include "store/MOMemoryItem.h"
#include "store/MOModelItem.h"
#include "store/MOShredderGroup.h"
#include "store/MOSystemCacheGroup.h"
#include "store/MOSystemLanguagesGroup.h"
#include "store/MOSystemLogsGroup.h"
#include "store/MOTemporaryFilesGroup.h"
#include "store/MOTrashBinGroup.h"
#include "store/MOTypedFileItem.h"
#include "store/MOUserCacheGroup.h"
#include "store/MOUserLogsGroup.h"

namespace vozi {

namespace {

using platform::AttributeType;
using platform::DeleteRule;
using platform::ManagedObjectModel;

template <class T>
ManagedObjectModel::EntityBuilder& entity(ManagedObjectModel::Builder& b, const char* parent = nullptr) {
  auto& e = b.entity(std::string(T::kEntityName)).template objectClass<T>();
  if (parent) e.parent(parent);
  return e;
}

std::shared_ptr<const ManagedObjectModel> build(std::string* failure) {
  ManagedObjectModel::Builder b;
  // No index on identifier or name: records are found through the
  // in-memory identifier index, and the only fetches by those attributes are
  // of top-level groups, which the entity column already narrows to one row.
  // Each further index would cost every one of the many leaf rows.
  entity<MOModelItem>(b)
      .attribute("identifier", AttributeType::string)
      .attribute("name", AttributeType::string)
      .attribute("size", AttributeType::integer64)
      .toMany("itemGroup", "MOItemGroup", "items");
  entity<MOFileItem>(b, "MOModelItem")
      .attribute("lastOpenDate", AttributeType::date)
      .attribute("path", AttributeType::string);
  entity<MOTypedFileItem>(b, "MOFileItem").attribute("fileType", AttributeType::integer16);
  entity<MOBigFileItem>(b, "MOTypedFileItem");
  entity<MOMemoryItem>(b, "MOModelItem").attribute("installedMemorySize", AttributeType::integer64);
  entity<MOItemGroup>(b, "MOModelItem")
      .toMany("items", "MOModelItem", "itemGroup")
      .toOne("scanningHistory", "MOItemGroupScanningHistory", "itemGroup", DeleteRule::cascade)
      .toOne("cleaningHistory", "MOItemGroupCleaningHistory", "itemGroup", DeleteRule::cascade);
  entity<MODuplicatesGroup>(b, "MOItemGroup");
  entity<MODuplicateItem>(b, "MOItemGroup").attribute("storedHash", AttributeType::data);
  entity<MOApplicationsGroup>(b, "MOItemGroup");
  entity<MOMemoryGroup>(b, "MOItemGroup");
  entity<MOSystemLanguagesGroup>(b, "MOItemGroup");
  entity<MOApplicationsLanguagesGroup>(b, "MOItemGroup");
  entity<MOLanguagesGroup>(b, "MOItemGroup");
  entity<MOFileRepresentableGroup>(b, "MOItemGroup");
  entity<MOBigFilesGroup>(b, "MOFileRepresentableGroup");
  entity<MOMailAttachmentsGroup>(b, "MOFileRepresentableGroup");
  entity<MOShredderGroup>(b, "MOFileRepresentableGroup");
  entity<MOTemporaryFilesGroup>(b, "MOFileRepresentableGroup");
  entity<MOUserLogsGroup>(b, "MOFileRepresentableGroup");
  entity<MOUserCacheGroup>(b, "MOFileRepresentableGroup");
  entity<MOSystemCacheGroup>(b, "MOFileRepresentableGroup");
  entity<MOSystemLogsGroup>(b, "MOFileRepresentableGroup");
  entity<MOTrashBinGroup>(b, "MOFileRepresentableGroup");
  entity<MOApplicationItem>(b, "MOFileRepresentableGroup")
      .attribute("path", AttributeType::string)
      .attribute("iconPath", AttributeType::string);
  entity<MOLanguageItem>(b, "MOFileRepresentableGroup");
  entity<MOItemGroupHistory>(b)
      .attribute("lastDate", AttributeType::date)
      .attribute("lastSize", AttributeType::integer64)
      .attribute("totalSize", AttributeType::integer64);
  entity<MOItemGroupScanningHistory>(b, "MOItemGroupHistory").toOne("itemGroup", "MOItemGroup", "scanningHistory");
  entity<MOItemGroupCleaningHistory>(b, "MOItemGroupHistory").toOne("itemGroup", "MOItemGroup", "cleaningHistory");
  return b.build(failure);
}

}  // namespace

std::shared_ptr<const ManagedObjectModel> VOZiModel::make(std::string* failure) {
  static std::once_flag once;
  static std::shared_ptr<const ManagedObjectModel> model;
  static std::string reason;
  std::call_once(once, [] { model = build(&reason); });
  if (!model && failure) *failure = reason;
  return model;
}

}  // namespace vozi
