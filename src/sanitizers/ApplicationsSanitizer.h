#pragma once

#include <memory>

#include "common/ApplicationsGroup.h"
#include "sanitizers/ApplicationsCleaningOperation.h"
#include "sanitizers/ApplicationsScanningOperation.h"
#include "sanitizers/BaseSanitizer.h"

namespace vozi {

// The sanitizer of the applications group: its scan lists the applications
// with their leftovers (ApplicationsScanningOperation, packages not
// entered); its clean uninstalls them (ApplicationsCleaningOperation).
class ApplicationsSanitizer : public BaseSanitizer<ApplicationsGroup> {
 public:
  using BaseSanitizer::BaseSanitizer;

 protected:
  std::shared_ptr<Operation> scanOperation(const GroupPtr& group, Operation::Completion completion,
                                           Operation::ProgressHandler progressHandler) override {
    return std::make_shared<ApplicationsScanningOperation>(group, std::move(completion), std::move(progressHandler),
                                                           environment().userAgentLink,
                                                           ApplicationsScanningOperation::Options::SkipsPackageDescendants);
  }
  std::shared_ptr<CleaningOperation> cleanOperation(const GroupPtr& group, Operation::Completion completion,
                                                    Operation::ProgressHandler progressHandler) override {
    return std::make_shared<ApplicationsCleaningOperation>(group, std::move(completion), std::move(progressHandler),
                                                           environment());
  }
};

}  // namespace vozi
