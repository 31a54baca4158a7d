#include "cleaners/MailAttachmentScanner.h"

#include <algorithm>
#include <unordered_set>

#include "cleaners/FileSystemScanner.h"
#include "common/FileItem.h"
#include "common/FileManagerAdditions.h"
#include "common/MLog.h"
#include "platform/PathComponents.h"
#include "platform/UUID.h"

namespace vozi {

const std::vector<std::string>& MailAttachmentScanner::mailDownloadsPathComponents() {
  static const std::vector<std::string> components{"Mail Downloads", "Mail/Mail Downloads",
                                                   "Containers/com.apple.mail/Data/Library/Mail Downloads"};
  return components;
}

const std::vector<std::string>& MailAttachmentScanner::forbiddenFileExtensions() {
  static const std::vector<std::string> extensions{"emlx", "plist"};
  return extensions;
}

int MailAttachmentScanner::workerCount(platform::DiskKind::Rotation rotation) {
  return rotation == platform::DiskKind::Rotation::solid ? 32 : 1;
}

MailAttachmentScanner::MailAttachmentScanner(std::optional<std::string> library) : userLibraryURL(std::move(library)) {}

std::shared_ptr<MailAttachmentsGroup> MailAttachmentScanner::scan() const {
  auto group = std::make_shared<MailAttachmentsGroup>(kGroupName, 0, nullptr, platform::UUID::randomString(), nullptr,
                                                      nullptr);
  const std::optional<std::string> library = userLibraryURL ? userLibraryURL : FileManagerAdditions::libraryDirectory();
  if (!library) return group;
  auto scanner = FileSystemScanner::make(workerCount(platform::DiskKind::rotation(*library)), kScanAmount);
  if (!scanner) return group;

  std::unordered_set<std::string> added;
  const auto add = [&](const FileSystemScannerItem& file) {
    std::string path = file.path();
    if (!added.insert(path).second) return;
    group->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), static_cast<std::uint64_t>(file.size),
                                              std::nullopt, platform::UUID::randomString()));
  };

  const std::string mail = platform::PathComponents::appending(*library, kMailPathComponent);
  const auto mailTrees = (*scanner)->scan({platform::URL::fileURLWithPath(mail, true)});
  if (!mailTrees.empty()) {
    const auto& extensions = forbiddenFileExtensions();
    for (const auto& file : mailTrees.front()->iterate({FileSystemScannerIterationKind::files})) {
      if (std::find(extensions.begin(), extensions.end(), file->pathExtension) != extensions.end()) continue;
      if (!file->containsPathComponent(kAttachmentsPathComponent)) continue;
      add(*file);
    }
  }

  std::vector<platform::URL> downloads;
  for (const std::string& component : mailDownloadsPathComponents())
    downloads.push_back(platform::URL::fileURLWithPath(platform::PathComponents::appending(*library, component), true));
  for (const auto& tree : (*scanner)->scan(downloads)) {
    for (const auto& file : tree->iterate({FileSystemScannerIterationKind::files})) add(*file);
  }
  return group;
}

}  // namespace vozi
