#pragma once

#include <memory>
#include <string>

#include "common/FileKinds.h"
#include "common/MLog.h"
#include "platform/DispatchGroup.h"
#include "platform/DispatchQueue.h"
#include "platform/FilePackage.h"
#include "platform/MetadataQuery.h"
#include "sanitizers/FilesSearchOperationBase.h"

namespace vozi {

// The big-files search by metadata query (platform::MetadataQuery, which on
// this platform walks the folder itself): main() starts the query for the
// files strictly larger than the minimum and blocks until its
// gathering-finished notification has been handled.
//
// The handler, on the query's queue, turns every result with a path into a
// model when it passes the filters: kinds (all five: every file; else a
// content type and a recognised kind among them) and last use (strictly
// before the limit; the creation date stands for the last use, the current
// time when there is none). Progress is reported for every result with a
// path, passed or not; then the completion, once, with the models keyed by
// size bucket and no errors. A cancellation seen before a result ends the
// search without the completion.
template <FileRepresentation T>
class SpotlightSearchOperation : public FilesSearchOperationBase<T> {
 public:
  using Base = FilesSearchOperationBase<T>;
  using typename Base::Results;

  static constexpr const char* kWaitingQueueLabel = "com.metadataWaiting.queue";

  template <typename... Arguments>
  explicit SpotlightSearchOperation(Arguments&&... arguments)
      : Base(std::forward<Arguments>(arguments)...),
        metadataQuery_(platform::MetadataQuery::make()),
        dispatchGroup_(std::make_shared<platform::DispatchGroup>()) {}

  void main() override {
    const auto group = dispatchGroup_;
    if (!group) {
      MLog("Spotlight search cannot run without its dispatch group");
      return;
    }
    group->enter();
    metadataQuery_->setSearchScopes({this->pathURL().path()});
    metadataQuery_->setPredicate(std::string(platform::MetadataQuery::kFSSizeKey) + " > " +
                                 std::to_string(this->bigFileMinSize()));
    metadataQuery_->enableUpdates();
    // main() waits below until the handler has left the group: `this`
    // outlives every call of it.
    metadataQuery_->setGatheringFinishedHandler([this] { didRecieveNotification(); });
    const auto waiting = platform::DispatchQueue::serial(kWaitingQueueLabel, platform::QualityOfService::background);
    group->async(waiting, [this, query = metadataQuery_] {
      // A query that cannot start (no folder) never notifies: its end is
      // handled here, as an empty result.
      if (!query->start()) didRecieveNotification();
    });
    group->wait();
  }

  void cancel() override {
    Base::cancel();
    metadataQuery_->stop();
  }

  // Leaves the dispatch group (once) after dropping the callbacks.
  void reset() override {
    Base::reset();
    std::shared_ptr<platform::DispatchGroup> group;
    {
      std::lock_guard lock(groupMutex_);
      group = std::move(dispatchGroup_);
      dispatchGroup_ = nullptr;
    }
    // The last touch of this operation: main() may return as soon as the
    // group is left.
    if (group) group->leave();
  }

  void didRecieveNotification() {
    metadataQuery_->disableUpdates();
    metadataQuery_->stop();
    if (this->isCancelled()) {
      reset();
      return;
    }
    Results results;
    const auto items = metadataQuery_->results();
    const auto total = static_cast<std::int64_t>(items.size());
    std::int64_t position = 0;
    for (const platform::MetadataItem& item : items) {
      ++position;
      if (this->isCancelled()) {
        reset();
        return;
      }
      this->waitWhilePaused();
      if (item.path.empty()) continue;
      const std::uint64_t size = item.fileSize.value_or(0);
      // No last-used date here: the creation date stands for it.
      const platform::Date lastUse = item.creationDate.value_or(platform::Date::now());
      const auto kind = FileKinds::fileType(item.contentType.value_or(""), platform::FilePackage::extension(item.path));
      const bool kindPasses = this->fileTypes().size() == Base::kEveryKind || (item.contentType && this->wantsKind(kind));
      const auto& limit = this->minLastFileAccessDate();
      const bool datePasses = !limit || limit->timeIntervalSince1970() > lastUse.timeIntervalSince1970();
      if (kindPasses && datePasses) {
        T model(item.path, size, lastUse, kind.value_or(ZOLMFileItemType::documents));
        results[std::string(rawValue(model.fileSizeCategory()))].insert(std::move(model));
      }
      this->reportProgress(position, total);
    }
    this->reportCompletion(results, std::nullopt);
    reset();
  }

 private:
  std::shared_ptr<platform::MetadataQuery> metadataQuery_;
  std::mutex groupMutex_;
  std::shared_ptr<platform::DispatchGroup> dispatchGroup_;
};

}  // namespace vozi
