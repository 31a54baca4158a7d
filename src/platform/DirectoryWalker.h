#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/FileDescriptor.h"
#include "platform/ResourceValues.h"

namespace vozi::platform {

// How a walk treats what it meets; a set of bits with the values peers use.
enum class DirectoryEnumerationOptions : unsigned long {
  None = 0,
  SkipsSubdirectoryDescendants = 1,  // report a folder's entries, enter none of them
  SkipsPackageDescendants = 2,       // report a package, do not enter it
  SkipsHiddenFiles = 4,              // leave out names starting with a dot, and what is below them
};

constexpr DirectoryEnumerationOptions operator|(DirectoryEnumerationOptions a, DirectoryEnumerationOptions b) {
  return static_cast<DirectoryEnumerationOptions>(static_cast<unsigned long>(a) | static_cast<unsigned long>(b));
}
constexpr DirectoryEnumerationOptions operator&(DirectoryEnumerationOptions a, DirectoryEnumerationOptions b) {
  return static_cast<DirectoryEnumerationOptions>(static_cast<unsigned long>(a) & static_cast<unsigned long>(b));
}
constexpr DirectoryEnumerationOptions without(DirectoryEnumerationOptions a, DirectoryEnumerationOptions b) {
  return static_cast<DirectoryEnumerationOptions>(static_cast<unsigned long>(a) & ~static_cast<unsigned long>(b));
}
constexpr bool contains(DirectoryEnumerationOptions set, DirectoryEnumerationOptions option) {
  return (static_cast<unsigned long>(set) & static_cast<unsigned long>(option)) != 0;
}

// What the visitor wants after seeing an entry.
enum class WalkAction {
  Continue,         // go on; enter the entry if it is a folder the options allow
  SkipDescendants,  // go on, but do not enter this entry
  SkipSiblings,     // leave the folder holding this entry; its parent goes on
  Stop,             // end the whole walk
};

// A depth-first, pre-order walk of a folder tree that never follows a
// symbolic link: a link is reported as the link itself and never entered,
// whatever it points to. Each folder is opened relative to its parent's
// descriptor without following links, so a folder swapped for a link
// while the walk runs is not entered either. Entries of a folder come in
// byte order of their names; the root itself is not reported.
class DirectoryWalker {
 public:
  enum class FileType { regular, directory, symbolicLink, other };

  // One item met by the walk. Valid only during the visitor call.
  class Entry {
   public:
    // The host path of the item.
    const std::string& path() const { return path_; }
    // The path below the walked root ("Contents/Info.plist").
    std::string_view relativePath() const { return std::string_view(path_).substr(rootLength_); }
    std::string_view name() const { return name_; }
    FileType type() const { return type_; }
    bool isDirectory() const { return type_ == FileType::directory; }
    bool isSymbolicLink() const { return type_ == FileType::symbolicLink; }
    bool isRegularFile() const { return type_ == FileType::regular; }
    bool isHidden() const { return !name_.empty() && name_.front() == '.'; }
    // A folder with a package extension.
    bool isPackage() const;
    // 1 for the root's own entries.
    std::size_t depth() const { return depth_; }
    // Reads the entry's values relative to its folder's descriptor.
    std::optional<ResourceValues> resourceValues(ResourceKeys keys, Error* error = nullptr) const;
    // Whether this process may delete the item: it may write and search
    // the folder holding it (on a writable file system) and, when that
    // folder is sticky, is root or owns the folder or the item. The
    // folder's part is decided once per folder of the walk.
    bool isDeletable() const;

    // What isDeletable() learnt of the folder being listed.
    struct FolderAccess {
      bool known = false;
      bool writable = false;
      bool sticky = false;
      unsigned owner = 0;
    };

   private:
    friend class DirectoryWalker;
    // Values read ahead (see walkReading): the keys they cover, and the
    // entry's values (none when they could not be read).
    ResourceKeys prefetchedKeys_ = ResourceKeys::None;
    const std::optional<ResourceValues>* prefetched_ = nullptr;
    std::string path_;
    std::size_t rootLength_ = 0;
    std::string_view name_;
    FileType type_ = FileType::other;
    std::size_t depth_ = 0;
    int directoryDescriptor_ = -1;
    FolderAccess* folderAccess_ = nullptr;
  };

  using Visitor = std::function<WalkAction(const Entry&)>;
  // Called with the path of a folder that cannot be opened or read and the
  // error; true goes on with the rest of the walk, false ends it. Without
  // a handler the walk goes on.
  using ErrorHandler = std::function<bool(const std::string& path, const Error& error)>;

  // Walks the folder at root (a host path), opened with TreePath: a link
  // anywhere on the way to it (but the layout's own) is refused. False,
  // with *error set, when the root cannot be opened as a folder (missing,
  // not a folder, a link on the way); the error handler hears of it too. A
  // walk ended by the visitor or the error handler still answers true.
  static bool walk(const std::string& root, DirectoryEnumerationOptions options, const Visitor& visitor,
                   const ErrorHandler& errorHandler = {}, Error* error = nullptr);
  // Walks a folder already open (taken over and closed at the end); path
  // is its host path, which entries' paths are made from.
  static bool walk(FileDescriptor folder, const std::string& path, DirectoryEnumerationOptions options,
                   const Visitor& visitor, const ErrorHandler& errorHandler = {}, Error* error = nullptr);
  // As walk(root, ...), with `keys` of every entry that is not a folder read
  // as its folder is listed, a large folder's on several threads at once:
  // stat'ing 100,000 files one after the other is most of a scan's walk.
  // Entry::resourceValues answers those keys from what was read. For walks
  // that only look: the values are those of the moment the folder was
  // listed, and a visitor that changes the folder sees them stale.
  static bool walkReading(const std::string& root, DirectoryEnumerationOptions options, ResourceKeys keys,
                          const Visitor& visitor, const ErrorHandler& errorHandler = {}, Error* error = nullptr);

 private:
  static bool walkFolder(FileDescriptor folder, const std::string& path, DirectoryEnumerationOptions options,
                         ResourceKeys prefetch, const Visitor& visitor, const ErrorHandler& errorHandler,
                         Error* error);
};

}  // namespace vozi::platform
