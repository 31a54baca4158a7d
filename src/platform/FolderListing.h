#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

namespace vozi::platform {

// One folder's entries with what a tree of sizes needs of each, read in
// one pass through a held folder: the names from the folder itself, the
// kind from the listing where the file system gives it, and the size of
// everything that is not a folder from its own status (never following a
// link: a link has its own size).
class FolderListing {
 public:
  enum class Kind : std::uint8_t { file, folder, link, unknown };

  struct Entry {
    std::string name;
    Kind kind = Kind::unknown;
    std::int64_t size = 0;  // 0 for folders and unknown entries
  };

  // The entries of a folder just opened (read from the descriptor's
  // position, so from the start; closed at the end): "." and ".." left
  // out, hidden ones kept, in the order the system lists them. An entry
  // whose status cannot be read is unknown. A folder that cannot be read
  // fails with its errno.
  static Result<std::vector<Entry>> list(FileDescriptor folder);
};

}  // namespace vozi::platform
