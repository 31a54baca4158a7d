#pragma once

#include "common/FileItem.h"
#include "sanitizers/BaseSanitizer.h"
#include "sanitizers/FileSystemCleaningOperation.h"
#include "sanitizers/FileSystemScanningOperation.h"

namespace vozi {

// The sanitizer of a file-based group: scans the folders the scanning
// operation assigns to the group's class (FileSystemScanningOperation) and
// cleans the group's leaves within the environment's cleaning scope
// (FileSystemCleaningOperation). Subclasses replace the scan.
template <typename Group>
class FilesSanitizer : public BaseSanitizer<Group> {
 public:
  using Base = BaseSanitizer<Group>;
  using Base::Base;
  using typename Base::CleaningOperation;
  using typename Base::GroupPtr;
  using typename Base::Operation;

 protected:
  std::shared_ptr<Operation> scanOperation(const GroupPtr& group, typename Operation::Completion completion,
                                           typename Operation::ProgressHandler progressHandler) override {
    return std::make_shared<FileSystemScanningOperation<Group, FileItem>>(group, std::move(completion),
                                                                          std::move(progressHandler));
  }
  std::shared_ptr<CleaningOperation> cleanOperation(const GroupPtr& group, typename Operation::Completion completion,
                                                    typename Operation::ProgressHandler progressHandler) override {
    return std::make_shared<FileSystemCleaningOperation<Group>>(group, std::move(completion),
                                                                std::move(progressHandler), this->environment());
  }
};

}  // namespace vozi
