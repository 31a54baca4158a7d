#include "sanitizers/ProgressReporter.h"

#include <limits>

namespace vozi {

namespace {

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

std::uint64_t saturatingSubtract(std::uint64_t a, std::uint64_t b) { return b > a ? 0 : a - b; }

}  // namespace

void ProgressReporter::setNumberOfOperations(std::int64_t count) {
  std::lock_guard lock(mutex_);
  numberOfOperations_ = count;
  // Updates may have come before the count was known.
  reportIfNeededLocked();
}

void ProgressReporter::setProgressReportHandler(ReportHandler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

IProgressReporter::ReportHandler ProgressReporter::progressReportHandler() const {
  std::lock_guard lock(mutex_);
  return handler_;
}

void ProgressReporter::registerUpdate(const std::optional<std::string>& operation, std::uint64_t progress,
                                      std::uint64_t duration) {
  if (!operation) return;
  std::lock_guard lock(mutex_);
  const auto found = progressInfo_.find(*operation);
  if (found == progressInfo_.end()) {
    progressInfo_.emplace(*operation, duration);
    totalDuration_ = saturatingAdd(totalDuration_, duration);
    lastReportedFraction_ = 0;
  } else if (found->second != duration) {
    totalDuration_ = duration > found->second ? saturatingAdd(totalDuration_, duration - found->second)
                                              : saturatingSubtract(totalDuration_, found->second - duration);
    found->second = duration;
  }
  totalProgress_ = saturatingAdd(totalProgress_, progress);
  reportIfNeededLocked();
}

void ProgressReporter::reportIfNeededLocked() {
  if (numberOfOperations_ < 0 || progressInfo_.size() != static_cast<std::size_t>(numberOfOperations_)) return;
  if (totalDuration_ == 0) return;
  const double fraction = static_cast<double>(totalProgress_) / static_cast<double>(totalDuration_);
  if (!(fraction - lastReportedFraction_ >= kMinFractionToReport)) return;
  if (handler_) handler_(fraction);
  lastReportedFraction_ = fraction;
}

void ProgressReporter::reset() {
  std::lock_guard lock(mutex_);
  progressInfo_.clear();
  numberOfOperations_ = 0;
  totalProgress_ = 0;
  totalDuration_ = 0;
  handler_ = nullptr;
  lastReportedFraction_ = 0;
}

}  // namespace vozi
