#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ZOLMFileItemType.h"
#include "common/ZOLMUpdatesCheckFrequency.h"

namespace vozi::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace vozi::platform

namespace vozi {

// The user's settings as the interface sends them to the daemon: updates,
// Trash, start-up, which groups the assistant and the background scan cover,
// what the duplicate search skips and the limits of the big-file search.
class ZOLMPreferences {
 public:
  static constexpr std::string_view kClassName = "ZOLMPreferences";

  // The built-in defaults.
  ZOLMPreferences();
  ZOLMPreferences(ZOLMUpdatesCheckFrequency updatesCheckFrequency, bool shouldDownloadUpdatesInBackground,
                  double lastUpdateCheckTimestamp, bool shouldMoveDeletedToTrash, std::uint64_t minTrashSizeToClean,
                  bool shouldKeepAppIconInMenuBar, bool shouldStartAppInStartup, bool useZOLToCompletelyRemoveApps,
                  bool startZOLNotificationCenterOnStart, std::vector<std::string> includeInAssistantAndBackgroundScan,
                  std::vector<std::string> excludeFromDuplicatesSearch, std::uint64_t bigFilesMinSize,
                  std::vector<std::string> bigFilesSearchKinds, std::int64_t bigFilesLastOpenMoreThan);

  // Reads an archived record; a missing key reads as 0, false or empty, not
  // as the default.
  explicit ZOLMPreferences(platform::KeyedUnarchiver& unarchiver);
  void encode(platform::KeyedArchiver& archiver) const;

  // Takes every field of the other record.
  void updateWith(const ZOLMPreferences& other) { *this = other; }

  ZOLMUpdatesCheckFrequency updatesCheckFrequency() const { return updatesCheckFrequency_; }
  void setUpdatesCheckFrequency(ZOLMUpdatesCheckFrequency value) { updatesCheckFrequency_ = value; }
  bool shouldDownloadUpdatesInBackground() const { return shouldDownloadUpdatesInBackground_; }
  void setShouldDownloadUpdatesInBackground(bool value) { shouldDownloadUpdatesInBackground_ = value; }
  // Seconds.
  double lastUpdateCheckTimestamp() const { return lastUpdateCheckTimestamp_; }
  void setLastUpdateCheckTimestamp(double value) { lastUpdateCheckTimestamp_ = value; }
  bool shouldMoveDeletedToTrash() const { return shouldMoveDeletedToTrash_; }
  void setShouldMoveDeletedToTrash(bool value) { shouldMoveDeletedToTrash_ = value; }
  // Bytes: the Trash is cleaned from this size on.
  std::uint64_t minTrashSizeToClean() const { return minTrashSizeToClean_; }
  void setMinTrashSizeToClean(std::uint64_t value) { minTrashSizeToClean_ = value; }
  bool shouldKeepAppIconInMenuBar() const { return shouldKeepAppIconInMenuBar_; }
  void setShouldKeepAppIconInMenuBar(bool value) { shouldKeepAppIconInMenuBar_ = value; }
  bool shouldStartAppInStartup() const { return shouldStartAppInStartup_; }
  void setShouldStartAppInStartup(bool value) { shouldStartAppInStartup_ = value; }
  bool useZOLToCompletelyRemoveApps() const { return useZOLToCompletelyRemoveApps_; }
  void setUseZOLToCompletelyRemoveApps(bool value) { useZOLToCompletelyRemoveApps_ = value; }
  bool startZOLNotificationCenterOnStart() const { return startZOLNotificationCenterOnStart_; }
  void setStartZOLNotificationCenterOnStart(bool value) { startZOLNotificationCenterOnStart_ = value; }
  // Item-group names.
  const std::vector<std::string>& includeInAssistantAndBackgroundScan() const {
    return includeInAssistantAndBackgroundScan_;
  }
  void setIncludeInAssistantAndBackgroundScan(std::vector<std::string> value) {
    includeInAssistantAndBackgroundScan_ = std::move(value);
  }
  // Path fragments.
  const std::vector<std::string>& excludeFromDuplicatesSearch() const { return excludeFromDuplicatesSearch_; }
  void setExcludeFromDuplicatesSearch(std::vector<std::string> value) {
    excludeFromDuplicatesSearch_ = std::move(value);
  }
  // Bytes.
  std::uint64_t bigFilesMinSize() const { return bigFilesMinSize_; }
  void setBigFilesMinSize(std::uint64_t value) { bigFilesMinSize_ = value; }
  // File-kind names ("Tracks", "Movies", ...).
  const std::vector<std::string>& bigFilesSearchKinds() const { return bigFilesSearchKinds_; }
  void setBigFilesSearchKinds(std::vector<std::string> value) { bigFilesSearchKinds_ = std::move(value); }
  // The kinds bigFilesSearchKinds names, in order; a name of no kind is
  // skipped (and logged).
  std::vector<ZOLMFileItemType> bigFilesSearchFileTypes() const;
  // Seconds relative to now, negative: files not opened since then.
  std::int64_t bigFilesLastOpenMoreThan() const { return bigFilesLastOpenMoreThan_; }
  void setBigFilesLastOpenMoreThan(std::int64_t value) { bigFilesLastOpenMoreThan_ = value; }

  std::string description() const;

  friend bool operator==(const ZOLMPreferences&, const ZOLMPreferences&) = default;

 private:
  ZOLMUpdatesCheckFrequency updatesCheckFrequency_;
  bool shouldDownloadUpdatesInBackground_;
  double lastUpdateCheckTimestamp_;
  bool shouldMoveDeletedToTrash_;
  std::uint64_t minTrashSizeToClean_;
  bool shouldKeepAppIconInMenuBar_;
  bool shouldStartAppInStartup_;
  bool useZOLToCompletelyRemoveApps_;
  bool startZOLNotificationCenterOnStart_;
  std::vector<std::string> includeInAssistantAndBackgroundScan_;
  std::vector<std::string> excludeFromDuplicatesSearch_;
  std::uint64_t bigFilesMinSize_;
  std::vector<std::string> bigFilesSearchKinds_;
  std::int64_t bigFilesLastOpenMoreThan_;
};

}  // namespace vozi
