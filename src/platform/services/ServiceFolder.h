#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

namespace vozi::platform {

// The folder that holds the sockets of named services, "/var/run/div.ez.iru"
// in the tree under the host root.
//
// A socket is bound and reached through the opened folder's descriptor
// ("/proc/self/fd/<folder>/<name>"), so the path is resolved once, by
// open(), and a folder swapped for a link afterwards changes nothing.
class ServiceFolder {
 public:
  static constexpr const char* kTreePath = "/var/run/div.ez.iru";

  // Opens the folder one component at a time from the host root with
  // O_NOFOLLOW | O_DIRECTORY. The only links followed are the layout's own,
  // owned by root or by this process's user: "/var" -> "/private/var" (a
  // macOS tree) and "/var/run" -> "/run" (a Linux host); any other link
  // fails. With `create` (the listening side): missing folders are made
  // (0755), and the last one must be owned by this process's user (checked
  // on the opened descriptor) and gets mode 0755.
  //
  // `treePath` names another such folder (the daemon's socket lives in its
  // product folder under "/Library/Application Support").
  static Result<std::unique_ptr<FileDescriptor>> open(bool create, std::string_view treePath = kTreePath);

  // The path by which the socket `name` inside the opened folder is bound
  // or reached. Fails for a name that is empty, ".", "..", holds a '/' or a
  // NUL, or is too long for a socket address.
  static Result<std::string> socketPath(const FileDescriptor& folder, std::string_view name);

  // Removes what an earlier run left at `name`: a socket is unlinked,
  // nothing there is fine, anything else (a file, a folder, a link) is left
  // in place and fails.
  static Result<void> removeStaleSocket(const FileDescriptor& folder, std::string_view name);
  // Gives the socket `name` these permission bits. A name that is not a
  // socket fails (EINVAL) and keeps its mode.
  static Result<void> setSocketMode(const FileDescriptor& folder, std::string_view name, unsigned mode);
};

}  // namespace vozi::platform
