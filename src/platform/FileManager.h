#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/DirectoryWalker.h"
#include "platform/Error.h"
#include "platform/FileSystemLayout.h"
#include "platform/ResourceValues.h"

namespace vozi::platform {

// The file-system operations the daemon builds on. Every path is a host
// path (see HostRoot); no operation follows a symbolic link that is the
// last component of the path it is given: a link is an item of its own.
class FileManager {
 public:
  FileManager() = default;
  virtual ~FileManager() = default;

  // The process-wide shared instance.
  static FileManager& defaultManager();

  // Host paths of a kind of standard folder in the given domains; the user
  // domain is the process user's (see ProcessUser).
  virtual std::vector<std::string> urls(SearchPathDirectory directory, SearchPathDomainMask domains) const;
  // The process user's home, none when its name cannot be a path component.
  std::optional<std::string> homeDirectoryForCurrentUser() const;

  // True when an item of any kind (a dangling link included) stands at path.
  bool fileExists(const std::string& path) const;
  // The same, telling through *isDirectory whether it is a real folder.
  bool fileExists(const std::string& path, bool* isDirectory) const;
  // True for a real folder; false for a link to one.
  bool isDirectory(const std::string& path) const;
  bool isSymbolicLink(const std::string& path) const;
  bool isFilePackage(const std::string& path) const;

  // Names of a folder's entries ("." and ".." left out, hidden ones kept),
  // in byte order. None, with *error set, when the path is missing, not a
  // folder, a link, has a link on the way (see TreePath) or is unreadable.
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path, Error* error = nullptr) const;
  // Paths of everything below a folder, relative to it, folders before
  // their contents; links are listed, not entered. None when the folder
  // cannot be opened; unreadable subfolders are passed over.
  std::optional<std::vector<std::string>> subpathsOfDirectory(const std::string& path, Error* error = nullptr) const;

  // Creates a folder (mode 0755 before the umask), with the missing folders
  // above it when asked. With intermediates, an existing folder is success.
  bool createDirectory(const std::string& path, bool withIntermediateDirectories, Error* error = nullptr) const;
  // The text stored in a link.
  std::optional<std::string> destinationOfSymbolicLink(const std::string& path, Error* error = nullptr) const;

  std::optional<ResourceValues> resourceValues(const std::string& path, ResourceKeys keys,
                                               Error* error = nullptr) const;

  // Moves the item at path into the Trash folder `trash` (both host paths),
  // reached with no link on either way; the item keeps its owner. When the
  // name is taken there, "name 2", "name 3" … (before the extension) is
  // used. The item stays where it was on any failure, a move to another
  // file system (EXDEV) included. Answers where it went.
  Result<std::string> trashItem(const std::string& path, const std::string& trash) const;
  // Walks a folder; see DirectoryWalker.
  bool enumerate(const std::string& root, DirectoryEnumerationOptions options, const DirectoryWalker::Visitor& visitor,
                 const DirectoryWalker::ErrorHandler& errorHandler = {}, Error* error = nullptr) const;
};

}  // namespace vozi::platform
