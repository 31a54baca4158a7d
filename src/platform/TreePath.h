#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

namespace vozi::platform {

// Opens places in the tree the daemon works on without letting anyone who
// can write to a folder on the way redirect it. The daemon runs as root over
// folders users control: a path such as "/Users/bob/Library/Caches" must
// lead into bob's Caches, not wherever a link planted as "Library" points.
//
// A path (a host path: HostRoot::resolve of a tree path) is opened one
// component at a time from the host root's descriptor, each folder with O_NOFOLLOW | O_DIRECTORY; where the
// kernel has openat2, the components below the first are resolved in one
// call with RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH, with the same answers.
// An absolute path outside the host root is opened the same way from "/".
// Empty, "." and ".." components are refused (EINVAL); trailing slashes are
// dropped. The only links followed are the layout's own: "tmp", "var" or
// "etc" directly under the host root, holding exactly "private/tmp",
// "private/var" or "private/etc", owned by root or by the host root's owner
// (a tree made by an ordinary user for a test or a demo). Any other link
// on the way fails the call with ELOOP, its description naming the path.
//
// Errors are NSPOSIXErrorDomain values naming the path given. All calls
// may be made from any thread; the descriptors returned belong to the caller.
class TreePath {
 public:
  // What a caller learns besides the descriptor.
  enum class Owners {
    skip,    // only the opened folder's owner
    report,  // every folder's owner, from the host root down
  };

  struct Folder {
    FileDescriptor descriptor;  // O_RDONLY | O_DIRECTORY
    uid_t owner = 0;            // of the folder opened
    // With Owners::report: the host root's owner first, the folder's last.
    std::vector<uid_t> owners;
  };

  // The folder holding a path's last component, and that component.
  struct Parent {
    Folder folder;
    std::string name;
  };

  // What stands at a path: the folder holding it, its name, and the item
  // itself opened when it is a real folder (a link in its place is not
  // followed, whatever it points to).
  struct Item {
    Folder parent;          // no descriptor for the host root itself
    std::string name;       // empty for the host root itself
    FileDescriptor folder;  // only when the item is a folder
  };

  // A regular file opened for reading, and its size when it was opened.
  struct File {
    FileDescriptor descriptor;
    std::uint64_t size = 0;
  };

  // Opens the folder at path.
  static Result<Folder> openFolder(std::string_view path, Owners owners = Owners::skip);
  // Opens the folder holding path's last component; the component is not
  // looked at. ENOENT for the host root itself, which has no parent here.
  static Result<Parent> openParent(std::string_view path, Owners owners = Owners::skip);
  // Opens the folder holding path's last component and, when the item
  // there is a folder, the item. ENOENT when nothing stands there.
  static Result<Item> openItem(std::string_view path);
  // Opens `name` inside the held folder without following a link (ELOOP),
  // only a regular file (EISDIR for a folder, EINVAL for anything else,
  // which is never opened) of at most maxSize bytes (EFBIG), as
  // CheckedOpen::existingIn does. The checks apply to what was opened.
  // `path` names the file in errors.
  static Result<File> openRegularFile(int folder, std::string_view name, std::uint64_t maxSize,
                                      std::string_view path);
  // Opens the regular file at `relativePath` below a held folder, in one
  // step that follows no link anywhere and never leaves the folder
  // (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS); where the system
  // has no such call, component by component with the same checks. Errors
  // as openRegularFile's.
  static Result<File> openRegularFileBelow(int folder, std::string_view relativePath);
  // Opens the folder at `relativePath` below a held folder the same way
  // (a link anywhere fails with ELOOP); "" opens the held folder again.
  static Result<FileDescriptor> openFolderBelow(int folder, std::string_view relativePath);
  // The regular file at a host path under the host root, opened as
  // openParent and openRegularFile would open it (the layout's links
  // allowed, no other), in one step when no link is on the way.
  static Result<File> openRegularFileInTree(std::string_view path);
  // Reads a regular file of at most maxSize bytes through a held folder, as
  // openRegularFile checks it.
  static Result<std::string> readRegularFile(int folder, std::string_view name, std::uint64_t maxSize,
                                             std::string_view path);

  // The tree path a layout link leads to ("/tmp" -> "/private/tmp"): only
  // for one of the links TreePath follows, checked the same way (EINVAL for
  // a name that is not one of them, ELOOP for a link that fails the checks,
  // ENOENT/ENOTDIR when it is missing or no link).
  static Result<std::string> layoutLinkDestination(std::string_view treePath);

  // Whether openat2 may be used (when the kernel has it); false forces the
  // component-by-component way, for tests that run both. Process-wide.
  static void setUsesOpenat2(bool uses);
  static bool usesOpenat2();
};

}  // namespace vozi::platform
