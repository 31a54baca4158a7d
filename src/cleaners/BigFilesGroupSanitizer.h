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

// The sanitizer of the big files: the scan above, the file clean. A stored
// result keeps no folders, so a clean of one deletes within the home the
// scan was confined to.
class BigFilesGroupSanitizer : public UserFolderSanitizer<BigFilesGroup, BigFilesScanningOperation> {
 public:
  using UserFolderSanitizer::UserFolderSanitizer;

  std::vector<std::string> scanRoots() override {
    std::vector<std::string> roots = UserFolderSanitizer::scanRoots();
    if (roots.empty()) roots.push_back(SessionUserFolders::allowedFolder(environment().userAgentLink.get()));
    return roots;
  }
};

}  // namespace vozi
