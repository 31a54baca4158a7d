#pragma once

#include <string>
#include <vector>

#include "common/URLExtensions.h"
#include "sanitizers/BaseSanitizerOperation.h"

namespace vozi {

// What a walk does with one entry before it is handed over.
enum class FileManagerEnumerationAction {
  continueEnumeration = 0,
  skipPath = 1,     // neither handed over nor entered
  foundNeeded = 2,  // handed over whole, not entered
};

// The base of the scans that walk folders: the product's own support
// folder ("div.ez.iru", in any letter case, anywhere in a path) is never
// scanned, so a clean never deletes the daemon's own files.
template <typename Group>
class BaseFilesScanningOperation : public BaseSanitizerOperation<Group> {
 public:
  using BaseSanitizerOperation<Group>::BaseSanitizerOperation;

  static constexpr const char* kSupportFolderName = "div.ez.iru";

  virtual std::vector<std::string> excludedSubPaths() const { return {kSupportFolderName}; }

  // Called by the walk for every entry, on the operation's thread.
  virtual FileManagerEnumerationAction handleSubpath(const std::string& path) const {
    return URLExtensions::caseInsensitiveContains(path, excludedSubPaths())
               ? FileManagerEnumerationAction::skipPath
               : FileManagerEnumerationAction::continueEnumeration;
  }
};

}  // namespace vozi
