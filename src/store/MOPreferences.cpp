#include "store/MOPreferences.h"

#include <cmath>
#include <limits>

namespace vozi {

namespace {

// Sizes are unsigned in the record and signed in the store: a size beyond
// the signed range is kept at its largest value, a negative stored one
// reads as 0.
std::int64_t storedSize(std::uint64_t size) {
  return size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
             ? std::numeric_limits<std::int64_t>::max()
             : static_cast<std::int64_t>(size);
}

std::uint64_t recordSize(std::int64_t stored) { return stored < 0 ? 0 : static_cast<std::uint64_t>(stored); }

}  // namespace

std::string MOPreferences::joinedList(const std::vector<std::string>& list) {
  std::string out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) out += ',';
    out += list[i];
  }
  return out;
}

std::vector<std::string> MOPreferences::splitList(const std::optional<std::string>& stored) {
  std::vector<std::string> out;
  if (!stored) return out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = stored->find(',', start);
    std::string piece = stored->substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    // An empty piece would match every path where the list is used as
    // fragments, and names nothing where it holds names.
    if (!piece.empty()) out.push_back(std::move(piece));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

void MOPreferences::update(const ZOLMPreferences& p) {
  setUpdatesCheckFrequency(std::string(stringValue(p.updatesCheckFrequency())));
  setShouldDownloadUpdatesInBackground(p.shouldDownloadUpdatesInBackground());
  setLastUpdateCheckTimestamp(p.lastUpdateCheckTimestamp());
  setShouldMoveDeletedToTrash(p.shouldMoveDeletedToTrash());
  setMinTrashSizeToClean(storedSize(p.minTrashSizeToClean()));
  setShouldKeepAppIconInMenuBar(p.shouldKeepAppIconInMenuBar());
  setUseZOLToCompletelyRemoveApps(platform::Value(p.useZOLToCompletelyRemoveApps()));
  setStartZOLNotificationCenterOnStart(p.startZOLNotificationCenterOnStart());
  setBigFilesMinSize(storedSize(p.bigFilesMinSize()));
  setBigFilesLastOpenMoreThan(static_cast<double>(p.bigFilesLastOpenMoreThan()));
  setShouldStartAppInStartup(p.shouldStartAppInStartup());
  setIncludeInAssistantAndBackgroundScan(joinedList(p.includeInAssistantAndBackgroundScan()));
  setExcludeFromDuplicatesSearch(joinedList(p.excludeFromDuplicatesSearch()));
  setBigFilesSearchKinds(joinedList(p.bigFilesSearchKinds()));
}

ZOLMPreferences MOPreferences::transportModel() const {
  const platform::Value& removeApps = useZOLToCompletelyRemoveApps();
  const double lastOpen = bigFilesLastOpenMoreThan();
  // A stored interval that is not a finite number in the signed range has no
  // counterpart: the default interval stands in for it.
  std::int64_t lastOpenSeconds = ZOLMPreferences().bigFilesLastOpenMoreThan();
  if (std::isfinite(lastOpen) && lastOpen > -9.2233720368547758e18 && lastOpen < 9.2233720368547758e18)
    lastOpenSeconds = static_cast<std::int64_t>(lastOpen);
  return ZOLMPreferences(updatesCheckFrequencyFromString(updatesCheckFrequency().value_or("")),
                         shouldDownloadUpdatesInBackground(), lastUpdateCheckTimestamp(), shouldMoveDeletedToTrash(),
                         recordSize(minTrashSizeToClean()), shouldKeepAppIconInMenuBar(), shouldStartAppInStartup(),
                         removeApps.asBool().value_or(true), startZOLNotificationCenterOnStart(),
                         splitList(includeInAssistantAndBackgroundScan()), splitList(excludeFromDuplicatesSearch()),
                         recordSize(bigFilesMinSize()), splitList(bigFilesSearchKinds()), lastOpenSeconds);
}

}  // namespace vozi
