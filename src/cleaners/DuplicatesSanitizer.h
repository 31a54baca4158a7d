#pragma once

#include <memory>

#include "cleaners/DuplicatesScanningOperation.h"
#include "common/DuplicatesGroup.h"
#include "sanitizers/BaseSanitizer.h"
#include "sanitizers/FileSystemCleaningOperation.h"

namespace vozi {

// The duplicates group's sanitizer: the scan is DuplicatesScanningOperation;
// the clean deletes the chosen files like every file clean (and refreshes the
// media libraries the deleted files belonged to).
class DuplicatesSanitizer : public BaseSanitizer<DuplicatesGroup> {
 public:
  using BaseSanitizer::BaseSanitizer;

 protected:
  std::shared_ptr<Operation> scanOperation(const GroupPtr& group, Operation::Completion completion,
                                           Operation::ProgressHandler progressHandler) override {
    return std::make_shared<DuplicatesScanningOperation>(group, std::move(completion), std::move(progressHandler),
                                                         environment().userAgentLink);
  }
  std::shared_ptr<CleaningOperation> cleanOperation(const GroupPtr& group, Operation::Completion completion,
                                                    Operation::ProgressHandler progressHandler) override {
    return std::make_shared<FileSystemCleaningOperation<DuplicatesGroup>>(group, std::move(completion),
                                                                          std::move(progressHandler), environment());
  }
};

}  // namespace vozi
