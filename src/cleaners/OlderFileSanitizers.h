#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cleaners/ModelFile.h"
#include "sanitizers/Sanitizer.h"

namespace vozi {

// The big files of the synchronous family: one walking search of its first
// folder with the preferences' limits (defaults when none are set), and a
// purge of what that search found.
class BigFilesSanitizer : public Sanitizer {
 public:
  using Sanitizer::purge;
  using Sanitizer::Sanitizer;
  std::string name() const override { return "BigFilesSanitizer"; }

  // The files found, and their bytes. Blocks until the search has ended;
  // a search cancelled through the work item gives (0, nothing).
  std::pair<std::uint64_t, std::vector<ModelFile>> bigFiles(const platform::DispatchWorkItem& dispatchWorkItem);

  // Removes the selected files (keys: file URL strings) that the search
  // found, inside the searched folder: into the Trash of the home holding
  // each (when the preferences say so) or for good. Any other key is
  // logged and left alone. Answers the bytes the records give and the
  // records removed.
  std::pair<std::uint64_t, std::vector<ModelFile>> purge(const Sizes& what, const std::vector<ModelFile>& found,
                                                         const platform::DispatchWorkItem& dispatchWorkItem);
};

// The mail attachments of one user, found by the parallel scanner over the
// user's Library (MailAttachmentScanner).
class MailAttachmentsSanitizer : public Sanitizer {
 public:
  using Sanitizer::purge;
  // None for an empty name; its folders are the user's "Mail Downloads".
  static std::unique_ptr<MailAttachmentsSanitizer> make(const std::string& userName);
  std::string name() const override { return "MailAttachmentsSanitizer"; }

  // Path -> bytes of every attachment; the total is the scanner's.
  ScanResult scan() override;
  std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelFile>>> mailAttachments(
      const platform::DispatchWorkItem& dispatchWorkItem) override;
  // Deletes the selected paths that the kept scan result holds (a path
  // already gone counts, with 0 bytes); any other path is logged and left.
  std::pair<std::uint64_t, Sizes> purge(const Sizes& what, const std::optional<Sizes>& found,
                                        const platform::DispatchWorkItem& dispatchWorkItem) override;

  const std::string& userName() const { return userName_; }

 private:
  MailAttachmentsSanitizer(std::string userName, std::vector<std::string> dirs)
      : Sanitizer(std::move(dirs)), userName_(std::move(userName)) {}
  std::string userName_;
};

// The user's Trash, built over its folder: emptied (its top level, each
// entry whole) only when it holds more than the preferences'
// minTrashSizeToClean (2 GiB by default); never a folder but its own.
class TrashBinSanitizer : public Sanitizer {
 public:
  using Sanitizer::purge;
  using Sanitizer::Sanitizer;
  std::string name() const override { return "TrashBinSanitizer"; }
  std::uint64_t purge(const std::string& folder) override;
};

// Shreds the files a selection names (FileShredder): only those of `owner`
// with a single name, inside the sanitizer's folders, reached through no
// link. Every file named comes back; only those overwritten seven times add
// their bytes.
class ShredderSanitizer : public Sanitizer {
 public:
  using Sanitizer::purge;
  ShredderSanitizer(std::vector<std::string> dirs, uid_t owner) : Sanitizer(std::move(dirs)), owner_(owner) {}
  std::string name() const override { return "ShredderSanitizer"; }

  std::pair<std::uint64_t, std::vector<ModelFile>> purge(const Sizes& what,
                                                         const platform::DispatchWorkItem& dispatchWorkItem);
  std::pair<std::uint64_t, std::vector<ModelFile>> erase(const ModelFile& file,
                                                         const platform::DispatchWorkItem& dispatchWorkItem);

 private:
  uid_t owner_;
};

}  // namespace vozi
