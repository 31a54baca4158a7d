#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/FileItem.h"
#include "ipc/IUserAgentLink.h"
#include "platform/Error.h"
#include "platform/Result.h"
#include "sanitizers/FileSystemScanningOperation.h"
#include "sanitizers/FilesSanitizer.h"

namespace vozi {

// The scan of folders of the session user that the agent link names (the
// link checks them before it hands them out). The link is asked on the
// operation's thread, when the folders are first needed; the ask blocks
// until the link answers or gives up. Without a link, or when it cannot
// answer, the subclass logs why and the scan completes with an empty group;
// whether the next read of the folders asks again is the subclass's choice.
// ScanBase is the generic file scan or one of its kinds (the typed one);
// what follows the link in the constructor goes to it.
template <typename Group, typename ScanBase = FileSystemScanningOperation<Group, FileItem>>
class UserFolderScanningOperation : public ScanBase {
 public:
  using Base = ScanBase;

  template <typename... ScanArguments>
  UserFolderScanningOperation(typename Base::GroupPtr itemGroup, typename Base::Completion completion,
                              typename Base::ProgressHandler progressHandler,
                              std::shared_ptr<IUserAgentLink> userAgentLink, ScanArguments&&... scanArguments)
      : Base(std::move(itemGroup), std::move(completion), std::move(progressHandler),
             std::forward<ScanArguments>(scanArguments)...),
        userAgentLink_(std::move(userAgentLink)) {}

  std::vector<std::string> scanningRoots() override {
    if (folders_) return *folders_;
    auto found = userAgentLink_ ? userFolders(*userAgentLink_)
                                : platform::Result<std::vector<std::string>>(platform::Error(
                                      UserAgentManagerError::kDomain, UserAgentManagerError::noUserContext,
                                      {{"NSLocalizedDescription", platform::Value("no agent link")}}));
    if (found) {
      folders_ = std::move(*found);
      return *folders_;
    }
    logFailure(found.error());
    if (!asksAgainAfterFailure()) folders_.emplace();
    return {};
  }

 protected:
  virtual platform::Result<std::vector<std::string>> userFolders(IUserAgentLink& link) = 0;
  // The one folder an ask answered, as userFolders gives it.
  static platform::Result<std::vector<std::string>> onlyFolder(platform::Result<std::string> asked) {
    if (!asked) return asked.error();
    return std::vector<std::string>{std::move(*asked)};
  }
  virtual void logFailure(const platform::Error& error) = 0;
  virtual bool asksAgainAfterFailure() const { return false; }

 private:
  std::shared_ptr<IUserAgentLink> userAgentLink_;
  std::optional<std::vector<std::string>> folders_;
};

// A file group's sanitizer whose scan is ScanOperation over the agent link;
// its clean is FilesSanitizer's.
template <typename Group, typename ScanOperation>
class UserFolderSanitizer : public FilesSanitizer<Group> {
 public:
  using Base = FilesSanitizer<Group>;
  using Base::Base;

 protected:
  std::shared_ptr<typename Base::Operation> scanOperation(
      const typename Base::GroupPtr& group, typename Base::Operation::Completion completion,
      typename Base::Operation::ProgressHandler progressHandler) override {
    return std::make_shared<ScanOperation>(group, std::move(completion), std::move(progressHandler),
                                           this->environment().userAgentLink);
  }
};

}  // namespace vozi
