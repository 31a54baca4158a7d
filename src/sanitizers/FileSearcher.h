#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/MLog.h"
#include "platform/OperationQueue.h"
#include "sanitizers/FilesSearchOperationBase.h"
#include "sanitizers/SpotlightSearchOperation.h"

namespace vozi {

// What a file searcher may tell its owner; nothing in the daemon sets one.
class FileSearcherDelegate {
 public:
  virtual ~FileSearcherDelegate() = default;
};

// Runs big-file searches for one set of parameters (minimum size, last-use
// limit, kinds) on a queue of its own: background quality of service, at
// most three searches at once. It does not wait for them: each search calls
// back on its own thread. Releasing the searcher cancels what it queued.
//
// The default mode walks the folder with the search the cleaning modules
// register for Model (setDefaultSearchFactory); the spotlight mode runs a
// SpotlightSearchOperation.
template <FileRepresentation Model>
class FileSearcher {
 public:
  enum class SerchMode { defaultMode, spotlight };

  using Operation = FilesSearchOperationBase<Model>;
  using Completion = typename Operation::Completion;
  using SearchProgressHandler = typename Operation::SearchProgressHandler;
  // Makes the default-mode search of a folder with the searcher's
  // parameters; the search skips the insides of packages.
  using DefaultSearchFactory = std::function<std::shared_ptr<Operation>(
      const platform::URL& folder, std::uint64_t bigFileMinSize, const std::optional<platform::Date>& minLastFileAccessDate,
      const std::vector<ZOLMFileItemType>& fileTypes, Completion completion, SearchProgressHandler progress)>;

  static constexpr int kMaxConcurrentSearches = 3;

  static void setDefaultSearchFactory(DefaultSearchFactory factory) {
    std::lock_guard lock(factoryMutex());
    defaultFactory() = std::move(factory);
  }

  FileSearcher(std::uint64_t bigFileMinSize, std::optional<platform::Date> minLastFileAccessDate,
               std::vector<ZOLMFileItemType> fileTypes)
      : bigFileMinSize(bigFileMinSize),
        minLastFileAccessDate(minLastFileAccessDate),
        fileTypes(std::move(fileTypes)),
        operationQueue_(std::make_shared<platform::OperationQueue>("div.ez.iru.fileSearcher")) {
    operationQueue_->setQualityOfService(platform::QualityOfService::background);
    operationQueue_->setMaxConcurrentOperationCount(kMaxConcurrentSearches);
  }
  FileSearcher(const FileSearcher&) = delete;
  FileSearcher& operator=(const FileSearcher&) = delete;
  ~FileSearcher() { cancel(); }

  // Queues a search of the folder; none when the mode has no search here.
  std::shared_ptr<Operation> search(const platform::URL& folder, SerchMode mode, Completion completion,
                                    SearchProgressHandler progress) {
    std::shared_ptr<Operation> operation;
    if (mode == SerchMode::spotlight) {
      operation = std::make_shared<SpotlightSearchOperation<Model>>(folder, bigFileMinSize, minLastFileAccessDate,
                                                                    fileTypes, std::move(completion), std::move(progress));
    } else {
      DefaultSearchFactory factory;
      {
        std::lock_guard lock(factoryMutex());
        factory = defaultFactory();
      }
      if (!factory) {
        MLog("No default file search to run for " + folder.path());
        return nullptr;
      }
      operation = factory(folder, bigFileMinSize, minLastFileAccessDate, fileTypes, std::move(completion),
                          std::move(progress));
    }
    if (operation) operationQueue_->addOperation(operation);
    return operation;
  }

  // Queued searches never start; running ones stop at their next entry
  // without their completion.
  void cancel() { operationQueue_->cancelAllOperations(); }

  bool isPaused = false;
  std::uint64_t bigFileMinSize;
  std::optional<platform::Date> minLastFileAccessDate;
  std::vector<ZOLMFileItemType> fileTypes;
  std::weak_ptr<FileSearcherDelegate> delegate;

 private:
  static std::mutex& factoryMutex() {
    static std::mutex mutex;
    return mutex;
  }
  static DefaultSearchFactory& defaultFactory() {
    static DefaultSearchFactory factory;
    return factory;
  }

  std::shared_ptr<platform::OperationQueue> operationQueue_;
};

}  // namespace vozi
