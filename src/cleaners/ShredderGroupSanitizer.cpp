#include "cleaners/ShredderGroupSanitizer.h"

#include <vector>

#include "common/IFileItem.h"
#include "common/MLog.h"
#include "platform/ProcessUser.h"

namespace vozi {

ShredderOperation::ShredderOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                                     SanitizerEnvironment environment, std::shared_ptr<FileShredder::Writer> writer)
    : SanitizerCleaningOperation(std::move(itemGroup), std::move(completion), std::move(progressHandler)),
      environment_(std::move(environment)),
      shredder_(std::move(writer)) {}

std::optional<uid_t> ShredderOperation::owner() const {
  if (environment_.userAgentLink) {
    if (const auto uid = environment_.userAgentLink->sessionUid()) return uid;
  }
  // Without a session the daemon's own user stands for the requester, but
  // root owns nothing on a user's behalf.
  if (platform::ProcessUser::isSuperUser()) return std::nullopt;
  return platform::ProcessUser::uid();
}

void ShredderOperation::main() {
  MLog("start shredder operation");
  std::vector<ModelItemPtr> items;
  itemGroup()->enumerateObjects([&items](const ModelItemPtr& item, const ModelItemKey&, bool&) { items.push_back(item); });
  std::uint64_t total = 0;
  for (const ModelItemPtr& item : items) {
    if (auto* file = dynamic_cast<IFileItem*>(item.get())) {
      file->updateSize();
      total += FileShredder::kPassesNumber * FileShredder::blocks(item->size());
    }
  }
  setDuration(total);
  if (isCancelled()) {
    complete(nullptr, true);
    return;
  }
  const auto requester = owner();
  if (!requester) MLog("No session user to shred files for: every file is refused");
  for (const ModelItemPtr& item : items) {
    if (isCancelled()) {
      complete(nullptr, true);
      return;
    }
    const auto* file = dynamic_cast<const IFileItem*>(item.get());
    const auto outcome = file && requester ? shredder_.shred(file->path(), requester, [this] { incrementProgress(1); })
                                           : FileShredder::Outcome::notOpened;
    if (outcome == FileShredder::Outcome::notOpened && (!file || !requester)) MLog("Could not open file");
    if (outcome == FileShredder::Outcome::shredded) continue;
    if (outcome == FileShredder::Outcome::notOpened)
      incrementProgress(FileShredder::kPassesNumber * FileShredder::blocks(item->size()));
    itemGroup()->removeItem(item);
  }
  progressDidFinish();
  complete(itemGroup(), isCancelled());
}

}  // namespace vozi
