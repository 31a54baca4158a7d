#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/DuplicatesGroup.h"
#include "ipc/IUserAgentLink.h"
#include "platform/Date.h"
#include "platform/DirectoryWalker.h"
#include "platform/FileDescriptor.h"
#include "sanitizers/BaseFilesScanningOperation.h"

namespace vozi {

// The duplicates scan: every regular file this process could delete under
// the group's folders is a candidate; files of one size are compared, and
// those with equal whole-content SHA-256 form a DuplicateItem
// ("duplicateIdentifier"). The group receives the sets of two files or more,
// in the order of their first files in the walk, members in walk order.
//
// - Walked: the group's scanning URLs that lie in the session user's home
//   (the home is the folder holding the Library the agent link names; with
//   no agent, the users folder): a client cannot make the daemon search, and
//   so clean, anywhere else. Hidden items and the insides of
//   packages left out; never followed: links, which, like every file that
//   is not a regular one, join no set. Skipped whole: the product's support
//   folder and the group's ignorePathFragments (any letter case), its
//   ignoreURLs, and users' Library folders.
// - A Photos library (a real folder ending in ".photoslibrary") is searched
//   afterwards, in its "Masters" folders, then its "Previews".
// - Only files that share a size are read: first a digest of their first
//   and last 4096 bytes, then, for files still alike, the whole-file
//   SHA-256 (the identity of a set). Reads run on several threads, but on a
//   disk that spins only for files already in memory; the others are read
//   one at a time. A file that cannot be read joins
//   no set. Empty files all share the empty content and form one set.
//
// Progress: one unit per entry handed over (also folders and files left
// out), and for a subtree skipped by the ignore or Library rules, what it
// would have counted; no units while files are read. A cancel ends the walk
// or the reading; the completion then gets (nothing, true).
class DuplicatesScanningOperation : public BaseFilesScanningOperation<DuplicatesGroup> {
 public:
  static constexpr const char* kFileIdentifier = "fileIdentifier";
  static constexpr const char* kDuplicateIdentifier = "duplicateIdentifier";
  static constexpr std::uint64_t kEndBlockSize = 4096;

  DuplicatesScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                              std::shared_ptr<IUserAgentLink> userAgentLink = nullptr);

  // 0 (the default): as many readers as the disk suits; any other number
  // fixes it (1: one file at a time).
  void setReadingThreads(unsigned threads) { readingThreads_ = threads; }

  void main() override;
  std::vector<std::string> excludedSubPaths() const override;
  // What a clean of the group may delete from: the folders searched, or the
  // home they must lie in (a stored result keeps no folders).
  std::vector<std::string> scanningRoots() override;
  // The group's folders that may be searched (worked out once).
  const std::vector<std::string>& searchedFolders();

 private:
  struct Candidate {
    std::string path;
    std::size_t root = 0;          // index into roots_
    std::size_t relativeStart = 0;  // where the path below that root begins
    std::uint64_t size = 0;
    std::optional<platform::Date> lastUse;
    std::uint64_t kind = 0;
    std::optional<std::vector<std::uint8_t>> ends;
    std::optional<std::vector<std::uint8_t>> hash;
  };

  void walk(const std::vector<std::string>& roots);
  platform::WalkAction visit(const platform::DirectoryWalker::Entry& entry);
  // Skips (true) an ignored URL or a user's Library, counting its subtree.
  bool skipsSubtree(const platform::DirectoryWalker::Entry& entry);
  // Runs `work` over the files, side by side where the disk allows:
  // `probe` is where a file is looked at to tell whether it is in memory.
  // Reads one file; with `declined` given, only when it is in memory.
  using Work = void (*)(Candidate& candidate, int rootFolder, bool* declined);
  // The candidate's path below its root.
  static std::string_view below(const Candidate& candidate);
  void readFiles(const std::vector<std::size_t>& indexes, Work work);
  // Reads with `threads` readers; with `declines`, what is not in memory is
  // left there for a later reader.
  void readWith(const std::vector<std::size_t>& indexes, Work work, unsigned threads,
                std::vector<std::size_t>* declines = nullptr);
  void hashAlikeFiles();
  void addSets();
  bool spins();
  const std::string& allowedFolder();

  std::vector<Candidate> candidates_;
  // The folders walked, held open: the files found are read below them in
  // one step each.
  std::vector<platform::FileDescriptor> roots_;
  std::vector<std::string> libraries_;
  std::vector<std::string> ignoredPaths_;
  unsigned readingThreads_ = 0;
  std::shared_ptr<IUserAgentLink> userAgentLink_;
  std::optional<std::string> allowedFolder_;
  std::optional<std::vector<std::string>> searchedFolders_;
  std::optional<bool> spins_;
};

}  // namespace vozi
