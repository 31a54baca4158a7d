#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cleaners/MailAttachmentGroupSanitizer.h"
#include "common/BigFileItem.h"
#include "common/BigFilesGroup.h"
#include "sanitizers/FilesSanitizer.h"
#include "sanitizers/SessionUserFolders.h"
#include "sanitizers/TypedFileScanningOperation.h"

namespace vozi {

// The big-files scan: the typed file scan of the group's folders, with the
// group's size, last-use and kind filters. The folders come from a client,
// so only those inside the session user's home are walked
// (SessionUserFolders); the others are logged and left out.
class BigFilesScanningOperation : public TypedFileScanningOperation<BigFilesGroup, BigFileItem> {
 public:
  BigFilesScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                            std::shared_ptr<IUserAgentLink> userAgentLink)
      : TypedFileScanningOperation(std::move(itemGroup), std::move(completion), std::move(progressHandler),
                                   kDefaultOptions, kTypedFileScanKeys),
        userAgentLink_(std::move(userAgentLink)) {}

  std::vector<std::string> scanningRoots() override {
    if (!folders_) {
      folders_ = SessionUserFolders::confined(itemGroup()->scanningURLs(),
                                              SessionUserFolders::allowedFolder(userAgentLink_.get()),
                                              "Not searched for big files");
    }
    return *folders_;
  }

 private:
  std::shared_ptr<IUserAgentLink> userAgentLink_;
  std::optional<std::vector<std::string>> folders_;
};

// The sanitizer of the big files: the scan above, the file clean.
class BigFilesGroupSanitizer : public UserFolderSanitizer<BigFilesGroup, BigFilesScanningOperation> {
 public:
  using UserFolderSanitizer::UserFolderSanitizer;
};

}  // namespace vozi
