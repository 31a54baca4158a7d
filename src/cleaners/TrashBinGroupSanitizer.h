#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/TrashBinGroup.h"
#include "sanitizers/FileSystemCleaningOperation.h"
#include "sanitizers/FilesSanitizer.h"
#include "sanitizers/UserFolderScanningOperation.h"

namespace vozi {

// The folder of the session user's Trash, as the agent link names it (a
// checked answer: inside the user's home, no link, the user's own). Asked
// again as long as the link cannot answer.
class TrashBinScanningOperation : public UserFolderScanningOperation<TrashBinGroup> {
 public:
  using UserFolderScanningOperation::UserFolderScanningOperation;

 protected:
  platform::Result<std::vector<std::string>> userFolders(IUserAgentLink& link) override;
  void logFailure(const platform::Error& error) override;
  bool asksAgainAfterFailure() const override { return true; }
};

// The Trash clean: the generic file clean of the items chosen, then the
// folders below the Trash that are empty when the walk reaches them (a
// folder is met before its contents) are removed; the Trash folder stays.
// Only empty folders are ever removed: one still holding anything, or one
// that cannot be looked into, stays.
class TrashBinCleaningOperation : public FileSystemCleaningOperation<TrashBinGroup> {
 public:
  using FileSystemCleaningOperation::FileSystemCleaningOperation;

  void progressDidFinish() override;

 private:
  void removeEmptyFolders();
};

class TrashBinGroupSanitizer : public FilesSanitizer<TrashBinGroup> {
 public:
  using FilesSanitizer::FilesSanitizer;

 protected:
  std::shared_ptr<Operation> scanOperation(const GroupPtr& group, Operation::Completion completion,
                                           Operation::ProgressHandler progressHandler) override {
    return std::make_shared<TrashBinScanningOperation>(group, std::move(completion), std::move(progressHandler),
                                                       environment().userAgentLink);
  }
  std::shared_ptr<CleaningOperation> cleanOperation(const GroupPtr& group, Operation::Completion completion,
                                                    Operation::ProgressHandler progressHandler) override {
    return std::make_shared<TrashBinCleaningOperation>(group, std::move(completion), std::move(progressHandler),
                                                       environment());
  }
};

}  // namespace vozi
