#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/ZOLMPreferences.h"
#include "platform/store/ManagedObject.h"

namespace vozi {

// The user's preferences: one row, converted from and to the record the
// interface sends. Lists are stored joined with ",".
class MOPreferences : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOPreferences";

  double bigFilesLastOpenMoreThan() const { return real("bigFilesLastOpenMoreThan"); }
  void setBigFilesLastOpenMoreThan(double value) { setReal("bigFilesLastOpenMoreThan", value); }
  std::int64_t bigFilesMinSize() const { return integer("bigFilesMinSize"); }
  void setBigFilesMinSize(std::int64_t value) { setInteger("bigFilesMinSize", value); }
  std::optional<std::string> bigFilesSearchKinds() const { return string("bigFilesSearchKinds"); }
  void setBigFilesSearchKinds(std::optional<std::string> value) { setString("bigFilesSearchKinds", std::move(value)); }
  std::optional<std::string> excludeFromDuplicatesSearch() const { return string("excludeFromDuplicatesSearch"); }
  void setExcludeFromDuplicatesSearch(std::optional<std::string> value) {
    setString("excludeFromDuplicatesSearch", std::move(value));
  }
  std::optional<std::string> includeInAssistantAndBackgroundScan() const {
    return string("includeInAssistantAndBackgroundScan");
  }
  void setIncludeInAssistantAndBackgroundScan(std::optional<std::string> value) {
    setString("includeInAssistantAndBackgroundScan", std::move(value));
  }
  double lastUpdateCheckTimestamp() const { return real("lastUpdateCheckTimestamp"); }
  void setLastUpdateCheckTimestamp(double value) { setReal("lastUpdateCheckTimestamp", value); }
  std::int64_t minTrashSizeToClean() const { return integer("minTrashSizeToClean"); }
  void setMinTrashSizeToClean(std::int64_t value) { setInteger("minTrashSizeToClean", value); }
  bool shouldDownloadUpdatesInBackground() const { return boolean("shouldDownloadUpdatesInBackground"); }
  void setShouldDownloadUpdatesInBackground(bool value) { setBoolean("shouldDownloadUpdatesInBackground", value); }
  bool shouldKeepAppIconInMenuBar() const { return boolean("shouldKeepAppIconInMenuBar"); }
  void setShouldKeepAppIconInMenuBar(bool value) { setBoolean("shouldKeepAppIconInMenuBar", value); }
  bool shouldMoveDeletedToTrash() const { return boolean("shouldMoveDeletedToTrash"); }
  void setShouldMoveDeletedToTrash(bool value) { setBoolean("shouldMoveDeletedToTrash", value); }
  bool shouldStartAppInStartup() const { return boolean("shouldStartAppInStartup"); }
  void setShouldStartAppInStartup(bool value) { setBoolean("shouldStartAppInStartup", value); }
  bool startZOLNotificationCenterOnStart() const { return boolean("startZOLNotificationCenterOnStart"); }
  void setStartZOLNotificationCenterOnStart(bool value) { setBoolean("startZOLNotificationCenterOnStart", value); }
  std::optional<std::string> updatesCheckFrequency() const { return string("updatesCheckFrequency"); }
  void setUpdatesCheckFrequency(std::optional<std::string> value) {
    setString("updatesCheckFrequency", std::move(value));
  }
  // The one optional boxed value of the entity.
  const platform::Value& useZOLToCompletelyRemoveApps() const { return value("useZOLToCompletelyRemoveApps"); }
  void setUseZOLToCompletelyRemoveApps(platform::Value value) {
    setValue("useZOLToCompletelyRemoveApps", std::move(value));
  }

  // Overwrites every attribute from the record; the caller saves.
  void update(const ZOLMPreferences& preferences);
  // A new record made from the stored attributes.
  ZOLMPreferences transportModel() const;

  // The stored form of a list ("," between elements) and back; reading
  // drops empty pieces, so an empty list stays empty.
  static std::string joinedList(const std::vector<std::string>& list);
  static std::vector<std::string> splitList(const std::optional<std::string>& stored);
};

}  // namespace vozi
