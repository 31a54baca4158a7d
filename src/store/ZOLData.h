#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "common/ZOLApplicationState.h"
#include "common/ZOLEvent.h"
#include "common/ZOLMPreferences.h"
#include "common/ScanGroupName.h"
#include "common/ZOLTrackingData.h"
#include "store/BaseCoreDataManager.h"
#include "store/MOApplicationState.h"
#include "store/MOCleanHistory.h"
#include "store/MOScanGroup.h"
#include "store/MOTrackingData.h"
#include "store/ZOLIPermanentStorage.h"

namespace vozi {

// The daemon's access to the "ZOL" store: application state, tracking data,
// preferences, cleaning history, the newest scan-group runs and the queue of
// unsent backend events. Every operation is one synchronous block on the
// store's queue, so it may be called from any thread and has its result on
// return.
//
// The readers of stored rows hand out live objects of the store's context:
// read their attributes inside moc()->performAndWait, and keep them no
// longer than that use.
class ZOLData : public BaseCoreDataManager, public ZOLIPermanentStorage {
 public:
  struct entityNames {
    static constexpr const char* applicationState = "MOApplicationState";
    static constexpr const char* trackingData = "TrackingData";
    static constexpr const char* scanGroup = "MOScanGroup";
    static constexpr const char* preferences = "MOPreferences";
    static constexpr const char* cleanHistory = "CleanHistory";
    static constexpr const char* event = "MOEvent";
  };

  ZOLData();

  std::shared_ptr<MOApplicationState> getApplicationState();
  std::shared_ptr<MOTrackingData> getTrackingData();
  // The newest run of each scan group, groups in declaration order.
  std::vector<std::shared_ptr<MOScanGroup>> recentGroups();
  // The cleaning-history row; a new empty one (saved with the next save of
  // the store) when there is none.
  std::shared_ptr<MOCleanHistory> getCleanHistory();
  // The stored preferences, the big-files minimum raised to its default.
  std::optional<ZOLMPreferences> getPreferences();

  // Writes the preferences and saves; none removes them.
  void store(const std::optional<ZOLMPreferences>& preferences);
  void store(const ZOLMPreferences& preferences) { store(std::optional<ZOLMPreferences>(preferences)); }
  void store(const ZOLApplicationState& applicationState);
  void store(const ZOLTrackingData& trackingData);

  // Records a clean of `bytes` in the category's newest run (made when the
  // category has none): the last and total cleaned bytes and the date.
  void recordClean(ScanGroupName category, std::int64_t bytes, platform::Date date);
  // Sets the date of the last clean that ran to its end (and the first one,
  // when unset), and saves.
  void recordCompleteClean(platform::Date date);

  // The queue of unsent events.
  void store(const ZOLEvent& event) override;
  void remove(const ZOLEvent& event) override;
  // The oldest event. A stored record that cannot be read back as an event
  // is dropped (with a log line) rather than left to hide the ones behind it.
  std::optional<ZOLEvent> firstEvent() override;

 private:
  template <class T>
  std::shared_ptr<T> insert(const char* entityName);
};

}  // namespace vozi
