#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/MailAttachmentsGroup.h"
#include "common/TypedFileItem.h"
#include "sanitizers/FilesSanitizer.h"
#include "sanitizers/TypedFileScanningOperation.h"
#include "sanitizers/UserFolderScanningOperation.h"

namespace vozi {

// What the mail and big-files scans read of every candidate.
inline constexpr platform::ResourceKeys kTypedFileScanKeys =
    platform::ResourceKeys::FileSize | platform::ResourceKeys::TypeIdentifier | platform::ResourceKeys::CreationDate |
    platform::ResourceKeys::ContentAccessDate | platform::ResourceKeys::AddedToDirectoryDate;

// The scan of the session user's mail attachments: the typed file scan of
// three folders of the Library the agent link names, "Mail", "Mail
// Downloads" and the mail container's "Mail Downloads".
//
// Every file of the two download folders is offered. A file inside "Mail"
// (by whole path components) is offered only when its path below "Mail",
// lower-cased, holds "attachments" and its extension is not "emlx" or
// "plist" (compared as written: "EMLX" is offered).
//
// The link is asked once per operation; when it cannot answer, two log
// lines say so and the scan completes empty.
class MailAttachmentsScanningOperation
    : public UserFolderScanningOperation<MailAttachmentsGroup,
                                         TypedFileScanningOperation<MailAttachmentsGroup, TypedFileItem>> {
 public:
  static constexpr std::string_view kMailPathComponent = "Mail";
  static constexpr std::string_view kAttachmentsPathComponent = "attachments";
  static const std::vector<std::string>& mailDownloadsPathComponents();
  static bool isForbiddenFileExtension(std::string_view extension);

  MailAttachmentsScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                                   std::shared_ptr<IUserAgentLink> userAgentLink,
                                   platform::DirectoryEnumerationOptions options = kDefaultOptions,
                                   platform::ResourceKeys propertyKeys = kTypedFileScanKeys)
      : UserFolderScanningOperation(std::move(itemGroup), std::move(completion), std::move(progressHandler),
                                    std::move(userAgentLink), options, propertyKeys) {}

 protected:
  platform::Result<std::vector<std::string>> userFolders(IUserAgentLink& link) override;
  void logFailure(const platform::Error& error) override;
  void addFileIfNeeded(const std::string& path, const std::optional<platform::ResourceValues>& values,
                       const std::optional<platform::Date>& lastAccessDate, std::uint64_t fileSize,
                       bool shouldAddFile) override;

 private:
  std::string mailFolder_;
};

// The sanitizer of the mail attachments: the scan above, the file clean.
class MailAttachmentGroupSanitizer : public UserFolderSanitizer<MailAttachmentsGroup, MailAttachmentsScanningOperation> {
 public:
  using UserFolderSanitizer::UserFolderSanitizer;
};

}  // namespace vozi
