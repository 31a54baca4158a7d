#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/FileItem.h"
#include "common/FileManagerAdditions.h"
#include "common/IFilterable.h"
#include "common/IURLsRelated.h"
#include "common/MLog.h"
#include "common/SystemCacheGroup.h"
#include "common/SystemLogsGroup.h"
#include "common/TemporaryFilesGroup.h"
#include "common/URLExtensions.h"
#include "platform/DirectoryWalker.h"
#include "platform/HostRoot.h"
#include "platform/PosixError.h"
#include "platform/URL.h"
#include "sanitizers/BaseFilesScanningOperation.h"

namespace vozi {

// The scan of a file-based group: one Item per file found below the
// group's folders (scanningRoots()), added to the group.
//
// - A package (a folder with a package extension) is one item, measured
//   whole, hidden files included; it is not entered.
// - A link is an item of its own (its own size), never followed; a folder
//   is counted, never added; a zero-byte file is counted, never added; a
//   file this process could not delete (Entry::isDeletable) is counted,
//   never added. Packages are not tested for it.
// - An IFilterable group's minimum size drops smaller files (a file of
//   exactly the minimum passes); its last-access date keeps only files last
//   used strictly before it (a file without dates counts as used now).
// - The product's support folder is skipped (BaseFilesScanningOperation).
// - A root is opened from the host root without passing a link (the
//   layout's root-owned links aside); a root behind any other link is
//   skipped with a log line. A group without folders completes empty.
//
// One progress unit per entry handed over; with progress wanted the entries
// are counted first, by a walk that reads no file's status, so the units
// add up to the total. Cancellation is seen before every entry; the walk
// then stops and the completion gets (nothing, true). Runs on the
// operation's thread; the group is touched from it alone.
template <typename Group, typename Item = FileItem>
class FileSystemScanningOperation : public BaseFilesScanningOperation<Group> {
 public:
  using Base = BaseFilesScanningOperation<Group>;
  using typename Base::Completion;
  using typename Base::GroupPtr;
  using typename Base::ProgressHandler;

  // The walk's options: packages are reported whole; hidden files are seen.
  static constexpr platform::DirectoryEnumerationOptions kDefaultOptions =
      platform::DirectoryEnumerationOptions::SkipsPackageDescendants;

  // `propertyKeys`: the facts read of every candidate and handed to
  // addFileIfNeeded (its size, and its dates under a last-use limit, are
  // always read).
  FileSystemScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                              platform::DirectoryEnumerationOptions options = kDefaultOptions,
                              platform::ResourceKeys propertyKeys = platform::ResourceKeys::None)
      : Base(std::move(itemGroup), std::move(completion), std::move(progressHandler)),
        options_(options),
        propertyKeys_(propertyKeys) {
    if (const auto* filterable = dynamic_cast<const IFilterable*>(this->itemGroup().get())) {
      minFileSize_ = filterable->minFileSizeToScan();
      if (filterable->minLastAccessDate()) minLastAccessTimestamp_ = filterable->minLastAccessDate()->timeIntervalSince1970();
    }
  }

  // The folders to walk (host paths), worked out once from the group's
  // class: the system logs ("/Library/Logs" as the layout spells it, for a
  // tree on a case-sensitive file system), the machine's caches, the
  // temporary folder, or the group's own list.
  std::vector<std::string> scanningRoots() override {
    if (!scanningRoots_) scanningRoots_ = defaultScanningRoots();
    return *scanningRoots_;
  }

  void main() override {
    MLog("start file system scanning operation for " + this->itemGroup()->description());
    // Asked for once: the count and the scan walk the same folders.
    const std::vector<std::string> roots = scanningRoots();
    if (this->shouldCalculateDuration()) this->setDuration(countEntries(roots));
    walkRoots(roots, [this](const platform::DirectoryWalker::Entry& entry) { return visit(entry); }, readKeys());
    this->finishScan();
  }

 protected:
  // Adds the item when shouldAddFile; subclasses override it to classify.
  // `values` holds the property keys' facts (none when they could not be
  // read); `lastAccessDate` is given only under a last-use limit.
  virtual void addFileIfNeeded(const std::string& path, const std::optional<platform::ResourceValues>& /*values*/,
                               const std::optional<platform::Date>& lastAccessDate, std::uint64_t fileSize,
                               bool shouldAddFile) {
    if (!shouldAddFile) return;
    this->itemGroup()->addItem(
        std::make_shared<Item>(platform::URL::fileURLWithPath(path), fileSize, lastAccessDate, "identifier"));
  }

 private:
  using Entry = platform::DirectoryWalker::Entry;
  using WalkAction = platform::WalkAction;

  std::vector<std::string> defaultScanningRoots() const {
    const ItemGroup* group = this->itemGroup().get();
    if (dynamic_cast<const SystemLogsGroup*>(group) != nullptr) {
      return {platform::HostRoot::resolve("/var/log"), platform::HostRoot::resolve("/Library/Logs")};
    }
    if (dynamic_cast<const SystemCacheGroup*>(group) != nullptr) return FileManagerAdditions::cachesDirectories();
    if (dynamic_cast<const TemporaryFilesGroup*>(group) != nullptr) return FileManagerAdditions::temporaryFilesScanningFolders();
    std::vector<std::string> roots;
    if (const auto* related = dynamic_cast<const IURLsRelated*>(group); related && related->scanningURLs()) {
      for (const platform::URL& url : *related->scanningURLs()) {
        if (url.isFileURL()) roots.push_back(url.path());
      }
    }
    return roots;
  }

  // Walks every root with the visitor; the verdict of the support-folder
  // rule and the cancellation come first for every entry, for the count
  // and the scan alike, so the two see the same entries. `keys` of the
  // files are read as each folder is listed (the count reads none).
  template <typename Visitor>
  void walkRoots(const std::vector<std::string>& roots, const Visitor& visitor,
                 platform::ResourceKeys keys = platform::ResourceKeys::None) {
    for (const std::string& root : roots) {
      if (this->isCancelled()) return;
      platform::Error error;
      const bool walked = platform::DirectoryWalker::walkReading(
          root, options_, keys,
          [&](const Entry& entry) {
            if (this->isCancelled()) return WalkAction::Stop;
            if (this->handleSubpath(entry.path()) == FileManagerEnumerationAction::skipPath) {
              return WalkAction::SkipDescendants;
            }
            return visitor(entry);
          },
          {}, &error);
      if (!walked && !(error.domain == platform::PosixError::kDomain && error.code == ENOENT)) {
        MLog("Scanning root skipped: " + root + ": " + error.localizedDescription());
      }
    }
  }

  std::uint64_t countEntries(const std::vector<std::string>& roots) {
    std::uint64_t count = 0;
    walkRoots(roots, [&count](const Entry&) {
      ++count;
      return WalkAction::Continue;
    });
    return count;
  }

  static bool isPackage(const Entry& entry) { return entry.isDirectory() && entry.isPackage(); }

  // The property keys, and the dates when a last-use limit needs them.
  platform::ResourceKeys candidateKeys() const {
    platform::ResourceKeys keys = propertyKeys_;
    if (minLastAccessTimestamp_) {
      keys = keys | platform::ResourceKeys::ContentAccessDate | platform::ResourceKeys::CreationDate |
                 platform::ResourceKeys::AddedToDirectoryDate;
    }
    return keys;
  }
  // What the scan reads of every file.
  platform::ResourceKeys readKeys() const { return platform::ResourceKeys::FileSize | candidateKeys(); }

  WalkAction visit(const Entry& entry) {
    this->handleBackgroundScan();
    if (this->isCancelled()) return WalkAction::Stop;
    WalkAction action = WalkAction::Continue;
    const platform::ResourceKeys keys = candidateKeys();
    if (isPackage(entry)) {
      // The package's facts before its walk, which may mark it read.
      std::optional<platform::ResourceValues> values;
      if (keys != platform::ResourceKeys::None) values = entry.resourceValues(keys);
      const std::uint64_t size = packageSize(entry.path());
      if (size > 0) filterAndAdd(entry.path(), values, size);
      action = WalkAction::SkipDescendants;
    } else if (!entry.isDirectory() && entry.isDeletable()) {
      const auto values = entry.resourceValues(readKeys());
      if (values && values->fileSize && *values->fileSize > 0) filterAndAdd(entry.path(), values, *values->fileSize);
    }
    this->incrementProgress(1);
    return action;
  }

  // Everything below a package, hidden files and nested packages included;
  // links count as themselves.
  static std::uint64_t packageSize(const std::string& path) {
    std::uint64_t total = 0;
    platform::DirectoryWalker::walk(path, platform::DirectoryEnumerationOptions::None, [&total](const Entry& entry) {
      if (!entry.isDirectory()) {
        const auto values = entry.resourceValues(platform::ResourceKeys::FileSize);
        if (values && values->fileSize) total += *values->fileSize;
      }
      return WalkAction::Continue;
    });
    return total;
  }

  void filterAndAdd(const std::string& path, const std::optional<platform::ResourceValues>& values,
                    std::uint64_t fileSize) {
    if (minFileSize_ > fileSize) return;
    if (!minLastAccessTimestamp_) {
      addFileIfNeeded(path, values, std::nullopt, fileSize, true);
      return;
    }
    std::optional<URLExtensions::ResourceDates> dates;
    if (values) dates = URLExtensions::ResourceDates{values->contentAccessDate, values->addedToDirectoryDate, values->creationDate};
    const platform::Date lastAccess = URLExtensions::lastAccessDate(dates).value_or(platform::Date::now());
    addFileIfNeeded(path, values, lastAccess, fileSize, *minLastAccessTimestamp_ > lastAccess.timeIntervalSince1970());
  }

  platform::DirectoryEnumerationOptions options_;
  platform::ResourceKeys propertyKeys_;
  std::uint64_t minFileSize_ = 0;
  std::optional<double> minLastAccessTimestamp_;
  std::optional<std::vector<std::string>> scanningRoots_;
};

}  // namespace vozi
