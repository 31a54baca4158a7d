#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vozi {

// Turns the progress of one request's operations into one fraction done.
class IProgressReporter {
 public:
  using ReportHandler = std::function<void(double fraction)>;

  virtual ~IProgressReporter() = default;

  // How many operations must have announced themselves before any fraction
  // is reported; negative: not known yet (nothing is reported, updates are
  // kept). Setting it reports at once when the kept updates call for it.
  virtual void setNumberOfOperations(std::int64_t count) = 0;
  virtual void setProgressReportHandler(ReportHandler handler) = 0;
  virtual ReportHandler progressReportHandler() const = 0;
  // Work done by `operation` since its last update, and its whole work. An
  // update without an operation changes nothing.
  virtual void registerUpdate(const std::optional<std::string>& operation, std::uint64_t progress,
                              std::uint64_t duration) = 0;
  virtual void reset() = 0;
};

}  // namespace vozi
