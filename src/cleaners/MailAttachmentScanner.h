#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/MailAttachmentsGroup.h"
#include "platform/DiskKind.h"

namespace vozi {

// Finds one user's mail attachments with the parallel scanner: the files
// inside the Library's "Mail" folder that lie in a folder named
// "attachments" (any letter case) below it, but for "emlx" and "plist"
// files (compared as written), then every file of the three Mail Downloads
// folders. Runs on the caller's thread and blocks until both scans end.
class MailAttachmentScanner {
 public:
  static constexpr const char* kGroupName = "MailAttachments";
  static constexpr const char* kMailPathComponent = "Mail";
  static constexpr const char* kAttachmentsPathComponent = "attachments";
  static constexpr int kScanAmount = 128;
  static const std::vector<std::string>& mailDownloadsPathComponents();
  static const std::vector<std::string>& forbiddenFileExtensions();

  // The scanner's width for the disk holding the Library: 32 on one that
  // does not spin, 1 on one that spins or that nothing tells of.
  static int workerCount(platform::DiskKind::Rotation rotation);

  // The user's Library (a host path); without one, the Library of the
  // process user.
  explicit MailAttachmentScanner(std::optional<std::string> userLibraryURL);

  // The attachments as file items, Mail's first, then the downloads folder
  // by folder; a file met twice counts once. An empty group when there is
  // no Library.
  std::shared_ptr<MailAttachmentsGroup> scan() const;

  std::optional<std::string> userLibraryURL;
};

}  // namespace vozi
