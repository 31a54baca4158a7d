#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Result.h"

namespace vozi::platform {

// Deletes items inside the tree the daemon cleans, where users control the
// folders: nothing a user puts on the way can turn a deletion elsewhere.
//
//   auto removed = TreeRemoval::removeItem("/root/Users/bob/Library/Caches/com.a");
//   if (!removed) ...;            // a PosixError naming the path
//   else removed->bytes ...;      // logical sizes of the files removed
//
// The item (a host path under the host root) is reached from the host root
// one component at a time (TreePath): a link on the way fails with ELOOP
// and nothing is touched. A file, or a link standing as the item, is
// unlinked itself (a link is never followed). A folder is emptied through
// descriptors, folders inside it opened with O_NOFOLLOW | O_DIRECTORY and
// checked to be what was listed, links inside unlinked as links; then it is
// removed. Folders on another file system (a mount inside the tree) are
// left alone (EXDEV). Depth is bounded neither by the stack nor by the
// descriptor limit: only a few folders stay open at a time, and one reopened
// on the way back up must be the one left (EAGAIN otherwise).
//
// Refused with EINVAL, untouched: a relative path, one with ".", ".." or
// empty components, one outside the host root, and the host root itself.
// ENOENT when nothing stands there (callers count that as gone).
//
// When part of a folder cannot be deleted, the rest still is; the result is
// then the first failure (the folder stays with what is left in it).
//
// Stateless; any thread may call.
class TreeRemoval {
 public:
  struct Removed {
    std::uint64_t bytes = 0;  // logical lengths of the regular files removed
    std::uint64_t items = 0;  // every file, link, folder and other item removed
  };

  static Result<Removed> removeItem(std::string_view path);
  // Removes the folder only when it is empty (ENOTEMPTY otherwise, ENOTDIR
  // for anything but a folder), reached the same way.
  static Result<void> removeEmptyFolder(std::string_view path);

  // At most this many folders inside the item are held open at once.
  static constexpr std::size_t kOpenFolders = 64;
};

}  // namespace vozi::platform
