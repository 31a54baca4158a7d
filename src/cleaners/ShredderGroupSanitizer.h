#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>

#include "cleaners/FileShredder.h"
#include "common/ShredderGroup.h"
#include "sanitizers/BaseSanitizer.h"
#include "sanitizers/SanitizerCleaningOperation.h"
#include "sanitizers/SanitizerEnvironment.h"

namespace vozi {

// The shredder's clean: each file of the group, in order, overwritten and
// removed (FileShredder). The files are the session user's own: a file of
// another owner, with a second name, not a regular file, or behind a link is
// refused ("Could not open file"), as is every file when no session user is
// known and the daemon runs as root. A file not shredded leaves the group
// and stays on disk. The total is 7 units per whole block of the files'
// sizes as found on disk; a refused file reports its whole share at once.
// Cancellation is seen between files.
class ShredderOperation : public SanitizerCleaningOperation<ShredderGroup> {
 public:
  ShredderOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                    SanitizerEnvironment environment,
                    std::shared_ptr<FileShredder::Writer> writer = std::make_shared<FileShredder::Writer>());

  void main() override;

 private:
  std::optional<uid_t> owner() const;

  SanitizerEnvironment environment_;
  FileShredder shredder_;
};

// The shredder group's sanitizer: no scan; the clean is ShredderOperation.
class ShredderGroupSanitizer : public BaseSanitizer<ShredderGroup> {
 public:
  using BaseSanitizer::BaseSanitizer;

 protected:
  std::shared_ptr<CleaningOperation> cleanOperation(const GroupPtr& group, Operation::Completion completion,
                                                    Operation::ProgressHandler progressHandler) override {
    return std::make_shared<ShredderOperation>(group, std::move(completion), std::move(progressHandler),
                                               environment());
  }
};

}  // namespace vozi
