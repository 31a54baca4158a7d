#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/FileManager.h"
#include "common/URLExtensions.h"
#include "sanitizers/BaseSanitizerOperation.h"

namespace vozi {

// The base of the scans that walk folders: the product's own support
// folder ("div.ez.iru", in any letter case, anywhere in a path) is never
// scanned, so a clean never deletes the daemon's own files.
template <typename Group>
class BaseFilesScanningOperation : public BaseSanitizerOperation<Group> {
 public:
  using BaseSanitizerOperation<Group>::BaseSanitizerOperation;

  static constexpr const char* kSupportFolderName = "div.ez.iru";

  virtual std::vector<std::string> excludedSubPaths() const { return {kSupportFolderName}; }

  // Called by the walk for every entry, on the operation's thread; a
  // subclass may count progress or pause here.
  virtual FileManagerEnumerationAction handleSubpath(const std::string& path) {
    // The list is set before the walk starts; it is asked for once, not
    // for every entry.
    if (!excluded_) excluded_ = excludedSubPaths();
    return URLExtensions::caseInsensitiveContains(path, *excluded_) ? FileManagerEnumerationAction::skipPath
                                                                    : FileManagerEnumerationAction::continueEnumeration;
  }
  // The rule as the steerable walk's subpath handler.
  FileManager::SubpathHandler subpathHandler() {
    return [this](const std::string& path) { return handleSubpath(path); };
  }

 private:
  std::optional<std::vector<std::string>> excluded_;
};

}  // namespace vozi
