#include "cleaners/MailAttachmentGroupSanitizer.h"

#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "platform/FilePackage.h"
#include "platform/PathComponents.h"

namespace vozi {

namespace {

constexpr const char* kNoLibrary = "Couldn't get libraryDirectory from user agent";

}  // namespace

const std::vector<std::string>& MailAttachmentsScanningOperation::mailDownloadsPathComponents() {
  static const std::vector<std::string> components{"Mail Downloads",
                                                   "Containers/com.apple.mail/Data/Library/Mail Downloads"};
  return components;
}

bool MailAttachmentsScanningOperation::isForbiddenFileExtension(std::string_view extension) {
  return extension == "emlx" || extension == "plist";
}

platform::Result<std::vector<std::string>> MailAttachmentsScanningOperation::userFolders(IUserAgentLink& link) {
  auto library = link.libraryDirectory();
  if (!library) return library.error();
  mailFolder_ = platform::PathComponents::appending(*library, kMailPathComponent);
  std::vector<std::string> folders{mailFolder_};
  for (const std::string& downloads : mailDownloadsPathComponents())
    folders.push_back(platform::PathComponents::appending(*library, downloads));
  return folders;
}

void MailAttachmentsScanningOperation::logFailure(const platform::Error&) {
  // Once for the Library, once for the folder list built on it.
  MLog(kNoLibrary);
  MLog(kNoLibrary);
}

void MailAttachmentsScanningOperation::addFileIfNeeded(const std::string& path,
                                                       const std::optional<platform::ResourceValues>& values,
                                                       const std::optional<platform::Date>& lastAccessDate,
                                                       std::uint64_t fileSize, bool shouldAddFile) {
  if (mailFolder_.empty()) return;
  if (platform::PathComponents::isInside(path, mailFolder_)) {
    if (isForbiddenFileExtension(platform::FilePackage::extension(path))) return;
    const std::string below = asciiLowercased(std::string_view(path).substr(mailFolder_.size() + 1));
    if (below.find(kAttachmentsPathComponent) == std::string::npos) return;
  }
  UserFolderScanningOperation::addFileIfNeeded(path, values, lastAccessDate, fileSize, shouldAddFile);
}

}  // namespace vozi
