// The group factory: one empty group of the class that belongs to a name.
#include "common/ApplicationsGroup.h"
#include "common/ApplicationsLanguagesGroup.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicatesGroup.h"
#include "common/ItemGroup.h"
#include "common/MailAttachmentsGroup.h"
#include "common/MemoryGroup.h"
#include "common/ShredderGroup.h"
#include "common/SystemCacheGroup.h"
#include "common/SystemLanguagesGroup.h"
#include "common/SystemLogsGroup.h"
#include "common/TemporaryFilesGroup.h"
#include "common/TrashBinGroup.h"
#include "common/UserCacheGroup.h"
#include "common/UserLogsGroup.h"

namespace vozi {

namespace {

template <typename Group>
std::shared_ptr<ItemGroup> make(ItemGroupName name) {
  const std::string raw(rawValue(name));
  return std::make_shared<Group>(raw, 0, nullptr, raw, nullptr, nullptr);
}

}  // namespace

std::shared_ptr<ItemGroup> ItemGroup::group(ItemGroupName name) {
  switch (name) {
    case ItemGroupName::memory: return make<MemoryGroup>(name);
    case ItemGroupName::duplicates: return make<DuplicatesGroup>(name);
    case ItemGroupName::applications: return make<ApplicationsGroup>(name);
    case ItemGroupName::bigFiles: return make<BigFilesGroup>(name);
    case ItemGroupName::mailAttachments: return make<MailAttachmentsGroup>(name);
    case ItemGroupName::shredder: return make<ShredderGroup>(name);
    case ItemGroupName::systemCache: return make<SystemCacheGroup>(name);
    case ItemGroupName::systemLogs: return make<SystemLogsGroup>(name);
    case ItemGroupName::userCache: return make<UserCacheGroup>(name);
    case ItemGroupName::userLogs: return make<UserLogsGroup>(name);
    case ItemGroupName::systemLanguages: return make<SystemLanguagesGroup>(name);
    case ItemGroupName::applicationsLanguages: return make<ApplicationsLanguagesGroup>(name);
    case ItemGroupName::trashBin: return make<TrashBinGroup>(name);
    case ItemGroupName::temporaryFiles: return make<TemporaryFilesGroup>(name);
  }
  return nullptr;
}

}  // namespace vozi
