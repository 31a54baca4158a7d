#include "sanitizers/SanitizerChoice.h"

#include "common/ApplicationsGroup.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicatesGroup.h"
#include "common/FileRepresentableGroup.h"
#include "common/LanguagesGroup.h"
#include "common/MailAttachmentsGroup.h"
#include "common/MemoryGroup.h"
#include "common/ShredderGroup.h"
#include "common/TrashBinGroup.h"
#include "common/UserCacheGroup.h"
#include "common/UserLogsGroup.h"
#include "sanitizers/ApplicationsSanitizer.h"
#include "sanitizers/FilesSanitizer.h"
#include "sanitizers/UserCachesSanitizer.h"
#include "sanitizers/UserLogsGroupSanitizer.h"

namespace vozi {

namespace {

template <typename Group>
bool isOf(const ItemGroup& group) {
  return dynamic_cast<const Group*>(&group) != nullptr;
}

// In the order of the rows: subclasses of FileRepresentableGroup come
// before it.
constexpr std::array<bool (*)(const ItemGroup&), SanitizerChoice::kRowCount> kTests = {
    &isOf<MemoryGroup>,    &isOf<DuplicatesGroup>, &isOf<ApplicationsGroup>,    &isOf<ShredderGroup>,
    &isOf<LanguagesGroup>, &isOf<BigFilesGroup>,   &isOf<TrashBinGroup>,        &isOf<UserLogsGroup>,
    &isOf<UserCacheGroup>, &isOf<MailAttachmentsGroup>, &isOf<FileRepresentableGroup>,
};

}  // namespace

SanitizerChoice::SanitizerChoice() {
  registerSanitizer(Row::applications, &ApplicationsSanitizer::make<ApplicationsSanitizer>);
  registerSanitizer(Row::userLogs, &UserLogsGroupSanitizer::make<UserLogsGroupSanitizer>);
  registerSanitizer(Row::userCache, &UserCachesSanitizer::make<UserCachesSanitizer>);
  registerSanitizer(Row::fileRepresentable,
                    &FilesSanitizer<FileRepresentableGroup>::make<FilesSanitizer<FileRepresentableGroup>>);
}

std::optional<SanitizerChoice::Row> SanitizerChoice::row(const ItemGroup& group) {
  for (std::size_t index = 0; index < kTests.size(); ++index) {
    if (kTests[index](group)) return static_cast<Row>(index);
  }
  return std::nullopt;
}

void SanitizerChoice::registerSanitizer(Row row, SanitizerFactory factory) {
  factories_[static_cast<std::size_t>(row)] = std::move(factory);
}

bool SanitizerChoice::isRegistered(Row row) const { return static_cast<bool>(factories_[static_cast<std::size_t>(row)]); }

std::unique_ptr<ISanitizer> SanitizerChoice::sanitizer(const ItemGroupPtr& group,
                                                       const SanitizerEnvironment& environment) const {
  if (!group) return nullptr;
  const auto found = row(*group);
  if (!found) return nullptr;
  const SanitizerFactory& factory = factories_[static_cast<std::size_t>(*found)];
  return factory ? factory(group, environment) : nullptr;
}

}  // namespace vozi
