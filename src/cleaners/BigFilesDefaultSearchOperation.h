#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/FileKinds.h"
#include "common/MLog.h"
#include "common/URLExtensions.h"
#include "platform/CocoaError.h"
#include "platform/DirectoryWalker.h"
#include "platform/FileManager.h"
#include "platform/FilePackage.h"
#include "platform/Result.h"
#include "sanitizers/FilesSearchOperationBase.h"

namespace vozi {

// The big-files search by walking one folder: every file strictly larger
// than the minimum, of the wanted kinds (all five: any file, an unknown
// kind recorded as Documents; else a known kind among them) and, under a
// last-use limit, last used strictly before it.
//
// The walk enters no package and no link. Each file's facts are read once,
// relative to its folder: there is no metadata index on this platform, so
// the metadata a file would have (its size, its last use: the later of its
// content modification and nothing else known, else now) are its own.
// A file whose size or type identifier cannot be told is passed over.
//
// Callbacks, on the operation's thread: progress with (folder, entries done,
// total) after every entry and once more with (total, total), the total
// counting everything below the folder, packages included; then the
// completion once, with the models keyed by size bucket (only buckets that
// got one) and the errors met (none when there were none). A missing folder
// completes at once with no result and one error (NSCocoaErrorDomain, 4,
// "NSFilePathErrorKey": the path). A cancelled search stops at its next
// entry and calls neither again.
template <FileRepresentation T>
class BigFilesDefaultSearchOperation : public FilesSearchOperationBase<T> {
 public:
  using Base = FilesSearchOperationBase<T>;
  using typename Base::Results;
  using Errors = std::vector<platform::Error>;

  static constexpr long kNoSuchFileErrorCode = 4;
  static constexpr platform::ResourceKeys kResourceKeys =
      platform::ResourceKeys::FileSize | platform::ResourceKeys::CreationDate |
      platform::ResourceKeys::ContentAccessDate | platform::ResourceKeys::ContentModificationDate |
      platform::ResourceKeys::Name | platform::ResourceKeys::IsDirectory | platform::ResourceKeys::TypeIdentifier;

  template <typename... Arguments>
  explicit BigFilesDefaultSearchOperation(Arguments&&... arguments) : Base(std::forward<Arguments>(arguments)...) {}

  platform::DirectoryEnumerationOptions directoryEnumerationOptions =
      platform::DirectoryEnumerationOptions::SkipsPackageDescendants;

  void main() override {
    const auto count = getFilesCount();
    if (!count) {
      this->reportCompletion(std::nullopt, Errors{count.error()});
      this->reset();
      return;
    }
    if (this->isCancelled()) {
      this->reset();
      return;
    }
    Results results;
    std::optional<Errors> errors;
    const bool finished = findBigFiles(*count, results, errors);
    if (finished && !this->isCancelled()) this->reportCompletion(results, errors);
    this->reset();
  }

 private:
  platform::Result<std::int64_t> getFilesCount() const {
    const std::string path = this->pathURL().path();
    if (!platform::FileManager::defaultManager().fileExists(path)) {
      return platform::Error(platform::CocoaError::domain, kNoSuchFileErrorCode,
                             {{"NSFilePathErrorKey", platform::Value(path)}});
    }
    std::int64_t count = 0;
    platform::Error error;
    const bool walked = platform::DirectoryWalker::walk(
        path, platform::DirectoryEnumerationOptions::None,
        [&count](const platform::DirectoryWalker::Entry&) {
          ++count;
          return platform::WalkAction::Continue;
        },
        {}, &error);
    if (!walked) return error;
    return count;
  }

  // False when the walk stopped for a cancellation.
  bool findBigFiles(std::int64_t allFilesCount, Results& bigFiles, std::optional<Errors>& errors) {
    std::int64_t done = 0;
    bool cancelled = false;
    const auto addError = [&errors](const platform::Error& error) {
      if (!errors) errors.emplace();
      errors->push_back(error);
    };
    platform::DirectoryWalker::walk(
        this->pathURL().path(), directoryEnumerationOptions,
        [&](const platform::DirectoryWalker::Entry& entry) {
          if (this->isCancelled()) {
            cancelled = true;
            return platform::WalkAction::Stop;
          }
          ++done;
          if (!entry.isDirectory()) {
            platform::Error error;
            const auto values = entry.resourceValues(kResourceKeys, &error);
            if (values) {
              addFileIfBig(entry.path(), *values, bigFiles);
            } else {
              addError(error);
            }
          }
          this->reportProgress(done, allFilesCount);
          return platform::WalkAction::Continue;
        },
        [&addError](const std::string&, const platform::Error& error) {
          addError(error);
          return true;
        });
    if (cancelled) {
      this->reset();
      return false;
    }
    this->reportProgress(allFilesCount, allFilesCount);
    return true;
  }

  void addFileIfBig(const std::string& path, const platform::ResourceValues& values, Results& bigFiles) const {
    if (!values.fileSize || *values.fileSize <= this->bigFileMinSize()) return;
    if (!values.typeIdentifier) return;
    platform::Value::Dictionary metadata;
    if (values.contentModificationDate)
      metadata[URLExtensions::kContentModificationDate] = platform::Value(*values.contentModificationDate);
    const platform::Date lastAccess = URLExtensions::lastAccessDateFromMetadata(metadata).value_or(platform::Date::now());
    const auto kind = FileKinds::fileType(values.typeIdentifier, platform::FilePackage::extension(path));
    if (!this->wantsKind(kind)) return;
    const auto& limit = this->minLastFileAccessDate();
    if (limit && !(lastAccess.timeIntervalSince1970() < limit->timeIntervalSince1970())) return;
    MLog("file: " + path + " is BIG");
    T model(path, *values.fileSize, lastAccess, kind.value_or(ZOLMFileItemType::documents));
    bigFiles[std::string(rawValue(model.fileSizeCategory()))].insert(std::move(model));
  }
};

}  // namespace vozi
