#include "common/ZOLMPreferences.h"

#include <cstdio>

#include "common/FileKinds.h"
#include "common/FileSizeCategory.h"
#include "common/RecordDescription.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

ZOLMPreferences::ZOLMPreferences()
    : ZOLMPreferences(ZOLMUpdatesCheckFrequency::daily, true, 0, true, 0x80000000ull, true, true, true, true,
                      {"systemCache", "systemLogs", "userCache", "userLogs", "systemLanguages", "applicationsLanguages",
                       "trashBin", "temporaryFiles", "applications"},
                      {"dropbox", ".svn", ".git", ".hg", ".iml"},
                      // The lower bound of the big-files buckets.
                      kFileSizeBound50MB, {"Tracks", "Movies", "Photos", "Archives", "Documents"},
                      static_cast<std::int64_t>(rawValue(FileLastOpenInterval::daysAgo30))) {}

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

ZOLMPreferences::ZOLMPreferences(platform::KeyedUnarchiver& u)
    : ZOLMPreferences(static_cast<ZOLMUpdatesCheckFrequency>(u.decodeInt64ForKey("updatesCheckFrequency")),
                      u.decodeBoolForKey("shouldDownloadUpdatesInBackground"),
                      u.decodeDoubleForKey("lastUpdateCheckTimestamp"), u.decodeBoolForKey("shouldMoveDeletedToTrash"),
                      static_cast<std::uint64_t>(u.decodeInt64ForKey("minTrashSizeToClean")),
                      u.decodeBoolForKey("shouldKeepAppIconInMenuBar"), u.decodeBoolForKey("shouldStartAppInStartup"),
                      u.decodeBoolForKey("useZOLToCompletelyRemoveApps"),
                      u.decodeBoolForKey("startZOLNotificationCenterOnStart"),
                      u.decodeStringArrayForKey("includeInAssistantAndBackgroundScan").value_or(std::vector<std::string>{}),
                      u.decodeStringArrayForKey("excludeFromDuplicatesSearch").value_or(std::vector<std::string>{}),
                      static_cast<std::uint64_t>(u.decodeInt64ForKey("bigFilesMinSize")),
                      u.decodeStringArrayForKey("bigFilesSearchKinds").value_or(std::vector<std::string>{}),
                      u.decodeInt64ForKey("bigFilesLastOpenMoreThan")) {}

void ZOLMPreferences::encode(platform::KeyedArchiver& a) const {
  // Sizes travel as signed 64-bit integers, bit for bit.
  a.encodeInt64("updatesCheckFrequency", static_cast<std::int64_t>(updatesCheckFrequency_));
  a.encodeBool("shouldDownloadUpdatesInBackground", shouldDownloadUpdatesInBackground_);
  a.encodeDouble("lastUpdateCheckTimestamp", lastUpdateCheckTimestamp_);
  a.encodeBool("shouldMoveDeletedToTrash", shouldMoveDeletedToTrash_);
  a.encodeInt64("minTrashSizeToClean", static_cast<std::int64_t>(minTrashSizeToClean_));
  a.encodeBool("shouldKeepAppIconInMenuBar", shouldKeepAppIconInMenuBar_);
  a.encodeBool("shouldStartAppInStartup", shouldStartAppInStartup_);
  a.encodeBool("useZOLToCompletelyRemoveApps", useZOLToCompletelyRemoveApps_);
  a.encodeBool("startZOLNotificationCenterOnStart", startZOLNotificationCenterOnStart_);
  a.encode("includeInAssistantAndBackgroundScan", includeInAssistantAndBackgroundScan_);
  a.encode("excludeFromDuplicatesSearch", excludeFromDuplicatesSearch_);
  a.encodeInt64("bigFilesMinSize", static_cast<std::int64_t>(bigFilesMinSize_));
  a.encode("bigFilesSearchKinds", bigFilesSearchKinds_);
  a.encodeInt64("bigFilesLastOpenMoreThan", bigFilesLastOpenMoreThan_);
}

std::vector<ZOLMFileItemType> ZOLMPreferences::bigFilesSearchFileTypes() const {
  std::vector<ZOLMFileItemType> types;
  for (const auto& kind : bigFilesSearchKinds_) {
    if (const auto type = FileKinds::fileType(std::string_view(kind))) types.push_back(*type);
  }
  return types;
}

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
