#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/FileSizeCategory.h"
#include "common/ZOLMFileItemType.h"
#include "platform/Date.h"
#include "platform/URL.h"
#include "platform/Value.h"

namespace vozi {

// A file as the older cleaning modules see it: where it is, its display
// name, size and kind, its last use and, when first asked, the SHA-256 of
// its whole content. Copies share one record (what one holder learns, every
// holder sees); records are equal when their standardized paths are.
class ModelFile {
 public:
  // A record of an existing file, its facts read from its metadata (the
  // file's own, on this platform): nothing found gives name "", size 0 and
  // kind Documents.
  explicit ModelFile(const platform::URL& url);
  // A record from stored facts; without a kind the metadata's decides.
  ModelFile(const std::string& path, std::uint64_t size, std::optional<platform::Date> lastOpen,
            std::optional<ZOLMFileItemType> fileType);

  const platform::URL& fileURL() const { return state_->fileURL; }
  const platform::URL& url() const { return state_->fileURL; }
  const std::string& fileName() const { return state_->fileName; }
  std::uint64_t fileSize() const { return state_->fileSize; }
  std::uint64_t size() const { return state_->fileSize; }
  ZOLMFileItemType fileType() const { return state_->fileType; }

  // Worked out once, streamed: absent for good when the file could not be
  // read as a regular file.
  std::optional<platform::Data> fileHash() const;
  void setFileHash(std::optional<platform::Data> hash) const;

  // The stored date, else the file's last modification (kept once found).
  std::optional<platform::Date> lastOpen() const;
  void setLastOpen(std::optional<platform::Date> date) const { state_->lastOpen = date; }

  FileSizeCategory fileSizeCategory() const { return fileSizeCategoryInclusive(state_->fileSize); }

  // "sectionName", "sectionSize", "lastOpen" (seconds since 1970, or null)
  // and "filePath" (the standardized path).
  platform::Value::Dictionary asDictionary() const;
  std::string debugDescription() const;

  // The path with "." and ".." resolved.
  std::string standardizedPath() const;
  bool operator==(const ModelFile& other) const { return standardizedPath() == other.standardizedPath(); }
  // Plain URL equality, nothing resolved.
  bool equalTo(const ModelFile& other) const;

 private:
  struct State {
    platform::URL fileURL = platform::URL::fileURLWithPath("/");
    std::string fileName;
    std::uint64_t fileSize = 0;
    ZOLMFileItemType fileType = ZOLMFileItemType::documents;
    bool hashComputed = false;
    std::optional<platform::Data> fileHash;
    std::optional<platform::Date> lastOpen;
  };
  std::shared_ptr<State> state_;
};

}  // namespace vozi

template <>
struct std::hash<vozi::ModelFile> {
  std::size_t operator()(const vozi::ModelFile& file) const { return std::hash<std::string>{}(file.standardizedPath()); }
};
