#pragma once

#include <string>

#include "platform/Result.h"

namespace vozi {

// Deletes one item of the tree for good, reached from the host root one
// component at a time (TreePath): a link on the way (but the layout's own)
// fails the call with ELOOP and nothing is deleted. The item itself is
// never followed: a link is deleted as a link, a folder with everything in
// it, its subfolders opened relative to their parents without following
// links, so a folder swapped for a link during the delete is unlinked, not
// entered. May be called from any thread.
class ItemRemoval {
 public:
  enum class Outcome {
    removed,
    missing,  // nothing stood there (a missing folder on the way included)
  };

  static platform::Result<Outcome> remove(const std::string& hostPath);
};

}  // namespace vozi
