#pragma once

#include "common/ApplicationsGroup.h"
#include "sanitizers/FileSystemCleaningOperation.h"

namespace vozi {

// The uninstall of the applications chosen: for each ApplicationItem of the
// group, in order, its bundle is deleted first; only once the bundle is gone
// (deleted now, or no longer there) are its leftovers deleted and the
// didRemove handler told. An application whose bundle stays keeps its
// leftovers: it leaves the group, as does one vetoed by shouldRemove or not
// reached before a cancellation. At the end the group holds the
// applications that are gone, with the leftovers that went with them.
//
// A bundle is deleted only when the cleaning scope admits its path, through
// the tree removal (no link is followed on the way). Something other than
// a folder found at a bundle's path (a link put there since the scan,
// dangling or not) is neither deleted nor counted as gone: it is logged and
// its application leaves the group.
//
// Progress: one unit per leftover reached and one per application handled.
class ApplicationsCleaningOperation : public FileSystemCleaningOperation<ApplicationsGroup> {
 public:
  using FileSystemCleaningOperation::FileSystemCleaningOperation;

  void main() override;

 private:
  // True when the bundle is gone from disk.
  bool removeBundle(const ModelItemPtr& item, const std::string& path);
};

}  // namespace vozi
