#include "common/ZOLMPreferences.h"

#include <cstdio>

#include "common/RecordDescription.h"

namespace vozi {

ZOLMPreferences::ZOLMPreferences()
    : ZOLMPreferences(ZOLMUpdatesCheckFrequency::daily, true, 0, true, 0x80000000ull, true, true, true, true,
                      {"systemCache", "systemLogs", "userCache", "userLogs", "systemLanguages", "applicationsLanguages",
                       "trashBin", "temporaryFiles", "applications"},
                      {"dropbox", ".svn", ".git", ".hg", ".iml"},
                      // Not quite 50 MiB: the value the stored settings were made with.
                      52422800ull, {"Tracks", "Movies", "Photos", "Archives", "Documents"},
                      // Thirty days back.
                      -2592000) {}

ZOLMPreferences::ZOLMPreferences(ZOLMUpdatesCheckFrequency updatesCheckFrequency,
                                 bool shouldDownloadUpdatesInBackground, double lastUpdateCheckTimestamp,
                                 bool shouldMoveDeletedToTrash, std::uint64_t minTrashSizeToClean,
                                 bool shouldKeepAppIconInMenuBar, bool shouldStartAppInStartup,
                                 bool useZOLToCompletelyRemoveApps, bool startZOLNotificationCenterOnStart,
                                 std::vector<std::string> includeInAssistantAndBackgroundScan,
                                 std::vector<std::string> excludeFromDuplicatesSearch, std::uint64_t bigFilesMinSize,
                                 std::vector<std::string> bigFilesSearchKinds, std::int64_t bigFilesLastOpenMoreThan)
    : updatesCheckFrequency_(updatesCheckFrequency),
      shouldDownloadUpdatesInBackground_(shouldDownloadUpdatesInBackground),
      lastUpdateCheckTimestamp_(lastUpdateCheckTimestamp),
      shouldMoveDeletedToTrash_(shouldMoveDeletedToTrash),
      minTrashSizeToClean_(minTrashSizeToClean),
      shouldKeepAppIconInMenuBar_(shouldKeepAppIconInMenuBar),
      shouldStartAppInStartup_(shouldStartAppInStartup),
      useZOLToCompletelyRemoveApps_(useZOLToCompletelyRemoveApps),
      startZOLNotificationCenterOnStart_(startZOLNotificationCenterOnStart),
      includeInAssistantAndBackgroundScan_(std::move(includeInAssistantAndBackgroundScan)),
      excludeFromDuplicatesSearch_(std::move(excludeFromDuplicatesSearch)),
      bigFilesMinSize_(bigFilesMinSize),
      bigFilesSearchKinds_(std::move(bigFilesSearchKinds)),
      bigFilesLastOpenMoreThan_(bigFilesLastOpenMoreThan) {}

std::string ZOLMPreferences::description() const {
  char timestamp[64];
  std::snprintf(timestamp, sizeof timestamp, "%f", lastUpdateCheckTimestamp_);
  const auto flag = [](bool value) { return std::string(value ? "1" : "0"); };
  return "<" + std::string(kClassName) +
         ": updatesCheckFrequency " + std::to_string(static_cast<unsigned long>(updatesCheckFrequency_)) +
         ", shouldDownloadUpdatesInBackground " + flag(shouldDownloadUpdatesInBackground_) +
         ", lastUpdateCheckTimestamp " + timestamp +
         ", shouldMoveDeletedToTrash " + flag(shouldMoveDeletedToTrash_) +
         ", minTrashSizeToClean " + std::to_string(minTrashSizeToClean_) +
         ", shouldKeepAppIconInMenuBar " + flag(shouldKeepAppIconInMenuBar_) +
         ", shouldStartAppInStartup " + flag(shouldStartAppInStartup_) +
         ", useZOLToCompletelyRemoveApps " + flag(useZOLToCompletelyRemoveApps_) +
         ", startZOLNotificationCenterOnStart " + flag(startZOLNotificationCenterOnStart_) +
         ", includeInAssistantAndBackgroundScan " + recorddescription::list(includeInAssistantAndBackgroundScan_) +
         ", excludeFromDuplicatesSearch " + recorddescription::list(excludeFromDuplicatesSearch_) +
         ", bigFilesMinSize " + std::to_string(bigFilesMinSize_) +
         ", bigFilesSearchKinds " + recorddescription::list(bigFilesSearchKinds_) +
         ", bigFilesLastOpenMoreThan " + std::to_string(bigFilesLastOpenMoreThan_) + ">";
}

}  // namespace vozi
