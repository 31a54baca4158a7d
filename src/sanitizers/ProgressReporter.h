#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "sanitizers/IProgressReporter.h"

namespace vozi {

// Keeps the latest whole work of every operation and the sum of what they
// did (saturating sums), and reports progress / whole work once every
// operation has announced itself and the fraction has risen by at least
// kMinFractionToReport since the last report. Nothing is reported while the
// whole work is 0 (the fraction would be undefined or unbounded). The
// fraction is not clamped: work beyond what was announced reads above 1.
//
// Updates come from the operations' threads at once; one lock orders them.
// The handler runs on the updating thread with that lock held, so reports
// arrive in the order they were computed; it must not call the reporter.
class ProgressReporter : public IProgressReporter {
 public:
  static constexpr double kMinFractionToReport = 0.001;

  void setNumberOfOperations(std::int64_t count) override;
  void setProgressReportHandler(ReportHandler handler) override;
  ReportHandler progressReportHandler() const override;
  void registerUpdate(const std::optional<std::string>& operation, std::uint64_t progress,
                      std::uint64_t duration) override;
  void reset() override;

 private:
  void reportIfNeededLocked();

  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::uint64_t> progressInfo_;
  std::int64_t numberOfOperations_ = 0;
  std::uint64_t totalProgress_ = 0;
  std::uint64_t totalDuration_ = 0;
  ReportHandler handler_;
  double lastReportedFraction_ = 0;
};

}  // namespace vozi
