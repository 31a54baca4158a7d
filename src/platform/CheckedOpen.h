#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

namespace vozi::platform {

// Opens the daemon's own files and folders: those in folders only root may
// change (the product folder, the log folder, the icon cache, the stores).
// A path is taken as the caller gives it; a symbolic link in its last
// component is never followed, and every check applies to what was opened,
// so nothing put in the name's place between a look and the open is used:
//
//   auto log = CheckedOpen::existing(path, {.access = CheckedOpen::Access::readWrite, .linkCount = 1});
//   if (!log) return;  // log.error() is a PosixError naming path
//
// Not for paths a user controls (anything under a home folder): those are
// opened from the host root one component at a time instead.
//
// Refusals, as PosixError codes: a link ELOOP; a folder where a file was
// asked for EISDIR; anything else that is not a regular file (a device, a
// pipe, a socket) EINVAL; not a folder where one was asked for ENOTDIR;
// another owner EPERM; another link count EMLINK; a name swapped for
// another item while it was opened EAGAIN. A special file is never opened
// (only looked at), so opening cannot block or wake a device.
//
// Stateless; any thread may call.
class CheckedOpen {
 public:
  enum class Kind { regularFile, folder };
  enum class Access { read, write, readWrite };

  // What the opened item must be. A folder is always opened for reading.
  struct Expect {
    Kind kind = Kind::regularFile;
    Access access = Access::read;
    // The owner's uid, when it matters.
    std::optional<uid_t> owner = std::nullopt;
    // 1 for a file that no other name can reach: through a second hard
    // link, root's writes would land in a file someone else chose.
    std::optional<nlink_t> linkCount = std::nullopt;
  };

  // An existing item at `path`.
  static Result<FileDescriptor> existing(const std::string& path, const Expect& expect);
  // An existing item `name` (one component) inside the open folder `folder`.
  static Result<FileDescriptor> existingIn(const FileDescriptor& folder, const std::string& name,
                                           const Expect& expect);
  // The same inside a folder held by descriptor number, with `shownPath`
  // naming the item in errors.
  static Result<FileDescriptor> existingIn(int folder, const std::string& name, const Expect& expect,
                                           const std::string& shownPath);
  // A new regular file with exactly `mode` (the umask does not narrow it);
  // EEXIST when anything, a link included, already has the name.
  static Result<FileDescriptor> created(const std::string& path, mode_t mode, Access access);
  // The regular file at `path` as `existing` opens it, or a new one when
  // there is none; either way it has exactly `mode` afterwards.
  static Result<FileDescriptor> existingOrCreated(const std::string& path, mode_t mode, const Expect& expect);
  // A new folder with exactly `mode`, opened; EEXIST when the name is taken.
  static Result<FileDescriptor> createdFolder(const std::string& path, mode_t mode);
};

}  // namespace vozi::platform
