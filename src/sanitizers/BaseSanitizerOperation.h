#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <memory>
#include <thread>

#include "platform/DispatchQueue.h"
#include "sanitizers/OperationWithPause.h"

namespace vozi {

// The base of one group's scan or clean operation: the group it fills or
// empties, the completion and the batched progress.
//
// Progress goes out as increments with the total: (0, total) when the
// subclass sets the total, then a report each time the unreported units
// reach a thousandth of the total (each unit for totals up to 1000), then
// the rest from progressDidFinish(). Without a progress handler nothing is
// counted, and subclasses need not count their total (shouldCalculateDuration).
//
// At background quality of service handleBackgroundScan() sleeps 1000 µs
// before the 6th, 11th, 16th ... item, so a background scan leaves the disk
// to the user. All of it runs on the operation's own thread.
template <typename Group>
class BaseSanitizerOperation : public OperationWithPause {
 public:
  using GroupPtr = std::shared_ptr<Group>;
  using Completion = std::function<void(const GroupPtr& group, bool cancelled)>;
  using ProgressHandler = std::function<void(std::uint64_t progress, std::uint64_t duration)>;

  static constexpr std::uint64_t kReportsPerOperation = 1000;
  static constexpr int kItemsBetweenBackgroundPauses = 5;
  static constexpr std::chrono::microseconds kBackgroundPause{1000};

  BaseSanitizerOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler)
      : itemGroup_(std::move(itemGroup)),
        completionHandler_(std::move(completion)),
        progressHandler_(std::move(progressHandler)) {}

  const GroupPtr& itemGroup() const { return itemGroup_; }
  // The folders (host paths) a scan walks; none for one that walks none.
  virtual std::vector<std::string> scanningRoots() { return {}; }

  std::uint64_t duration() const { return duration_; }
  void setDuration(std::uint64_t duration) {
    duration_ = duration;
    if (progressHandler_) progressHandler_(0, duration);
    progressReportInterval_ = duration > kReportsPerOperation ? duration / kReportsPerOperation : 1;
  }
  std::uint64_t currentProgress() const { return currentProgress_; }
  std::uint64_t progressReportInterval() const { return progressReportInterval_; }

  void incrementProgress(std::uint64_t units) {
    if (!progressHandler_) return;
    currentProgress_ += units;
    progressReportBuffer_ += units;
    if (progressReportBuffer_ >= progressReportInterval_) {
      progressHandler_(progressReportBuffer_, duration_);
      progressReportBuffer_ = 0;
    }
  }
  // The units not reported yet; the operation is ending.
  virtual void progressDidFinish() {
    if (progressReportBuffer_ != 0 && progressHandler_) {
      progressHandler_(progressReportBuffer_, duration_);
      progressReportBuffer_ = 0;
    }
  }
  bool shouldCalculateDuration() const { return static_cast<bool>(progressHandler_); }

  void handleBackgroundScan() {
    if (qualityOfService() != platform::QualityOfService::background) return;
    if (itemsProgressCounter_ >= kItemsBetweenBackgroundPauses) {
      ++backgroundPauses_;
      std::this_thread::sleep_for(kBackgroundPause);
      itemsProgressCounter_ = 0;
    }
    ++itemsProgressCounter_;
  }
  // How many times handleBackgroundScan() slept, for tests and benchmarks.
  std::uint64_t backgroundPauses() const { return backgroundPauses_; }

 protected:
  // Once, at the end of main().
  void complete(const GroupPtr& group, bool cancelled) {
    if (completionHandler_) completionHandler_(group, cancelled);
  }
  // The end of a scan: nothing and true when cancelled (no last report);
  // else the rest of the progress, then the group and false.
  void finishScan() {
    if (isCancelled()) {
      complete(nullptr, true);
      return;
    }
    progressDidFinish();
    complete(itemGroup_, false);
  }

 private:
  std::uint64_t duration_ = 0;
  int itemsProgressCounter_ = 0;
  std::uint64_t currentProgress_ = 0;
  std::uint64_t progressReportBuffer_ = 0;
  std::uint64_t progressReportInterval_ = 1;
  std::uint64_t backgroundPauses_ = 0;
  GroupPtr itemGroup_;
  Completion completionHandler_;
  ProgressHandler progressHandler_;
};

}  // namespace vozi
