#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/FileSizeCategory.h"
#include "common/ZOLMFileItemType.h"
#include "platform/Date.h"
#include "platform/Error.h"
#include "platform/URL.h"
#include "sanitizers/OperationWithPause.h"

namespace vozi {

// The base of the big-files searches: one folder searched for files larger
// than a minimum, of some kinds and, optionally, last used before a date;
// the models found come back grouped by the raw value of their size bucket.
//
// Each callback fires at most once: reset() drops both when a search ends,
// so nothing captured outlives the search. The callbacks run on the thread
// the subclass reports from.
template <FileRepresentation T>
class FilesSearchOperationBase : public OperationWithPause {
 public:
  using Results = std::unordered_map<std::string, std::unordered_set<T>>;
  using Completion =
      std::function<void(const std::optional<Results>& results, const std::optional<std::vector<platform::Error>>& errors)>;
  // (the folder searched, the position of the entry just handled, the total)
  using SearchProgressHandler = std::function<void(const platform::URL& url, std::int64_t done, std::int64_t total)>;

  // Every kind there is: a search given all of them filters on none.
  static constexpr std::size_t kEveryKind = 5;

  FilesSearchOperationBase(platform::URL url, std::uint64_t bigFileMinSize,
                           std::optional<platform::Date> minLastFileAccessDate, std::vector<ZOLMFileItemType> fileTypes,
                           Completion completion, SearchProgressHandler searchProgressHandler)
      : completionHandler_(std::move(completion)),
        searchProgressHandler_(std::move(searchProgressHandler)),
        pathURL_(std::move(url)),
        bigFileMinSize_(bigFileMinSize),
        minLastFileAccessDate_(minLastFileAccessDate),
        fileTypes_(std::move(fileTypes)) {}

  const platform::URL& pathURL() const { return pathURL_; }
  std::uint64_t bigFileMinSize() const { return bigFileMinSize_; }
  const std::optional<platform::Date>& minLastFileAccessDate() const { return minLastFileAccessDate_; }
  const std::vector<ZOLMFileItemType>& fileTypes() const { return fileTypes_; }

  // Drops both callbacks; the search is over.
  virtual void reset() {
    std::lock_guard lock(handlersMutex_);
    completionHandler_ = nullptr;
    searchProgressHandler_ = nullptr;
  }

 protected:
  void reportProgress(std::int64_t done, std::int64_t total) {
    SearchProgressHandler handler;
    {
      std::lock_guard lock(handlersMutex_);
      handler = searchProgressHandler_;
    }
    if (handler) handler(pathURL_, done, total);
  }
  void reportCompletion(const std::optional<Results>& results, const std::optional<std::vector<platform::Error>>& errors) {
    Completion handler;
    {
      std::lock_guard lock(handlersMutex_);
      handler = completionHandler_;
    }
    if (handler) handler(results, errors);
  }

  // True when a file of this kind is wanted: every file when all kinds are,
  // else only a recognised kind among them.
  bool wantsKind(std::optional<ZOLMFileItemType> kind) const {
    if (fileTypes_.size() == kEveryKind) return true;
    return kind && std::find(fileTypes_.begin(), fileTypes_.end(), *kind) != fileTypes_.end();
  }

 private:
  std::mutex handlersMutex_;
  Completion completionHandler_;
  SearchProgressHandler searchProgressHandler_;
  platform::URL pathURL_;
  std::uint64_t bigFileMinSize_;
  std::optional<platform::Date> minLastFileAccessDate_;
  std::vector<ZOLMFileItemType> fileTypes_;
};

}  // namespace vozi
