#include "server/CleanHistory.h"

#include <limits>
#include <map>

#include "ipc/RemoteMessageKey.h"

namespace vozi {

CleanHistory::Row CleanHistory::Row::of(const MOScanGroup& group) {
  return Row{group.name(), group.lastCleanedSize(), group.totalCleanedSize(), group.lastCleanedDate()};
}

platform::Value::Dictionary CleanHistory::report(const std::vector<Row>& recentGroups,
                                                 const std::optional<platform::Date>& lastCompleteCleanDate,
                                                 std::uint64_t installedMemory) {
  namespace Key = RemoteMessageKey;
  std::map<std::string, CleanHistory> modules;
  for (const Row& row : recentGroups) {
    if (!row.name) continue;
    CleanHistory history{*row.name, row.lastCleanedSize, row.totalCleanedSize, std::nullopt};
    if (row.lastCleanedDate) history.lastCleanedTimestamp = row.lastCleanedDate->timeIntervalSince1970();
    modules[*row.name] = std::move(history);
  }
  if (const auto memory = modules.find(kMemoryModule); memory != modules.end()) {
    // The stored figure is signed; a machine beyond its range reports the most it can hold.
    constexpr auto kMost = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    memory->second.totalCleanedBytes = static_cast<std::int64_t>(std::min(installedMemory, kMost));
  }

  platform::Value::Array list;
  for (const auto& [name, history] : modules) {
    platform::Value::Dictionary module;
    module[Key::CleanHistory::moduleName] = platform::Value(history.name);
    module[Key::CleanHistory::lastCleanedBytes] = platform::Value(history.lastCleanedBytes);
    module[Key::CleanHistory::totalCleanedBytes] = platform::Value(history.totalCleanedBytes);
    module[Key::CleanHistory::lastCleanedTimestamp] =
        history.lastCleanedTimestamp ? platform::Value(*history.lastCleanedTimestamp) : platform::Value(nullptr);
    list.emplace_back(std::move(module));
  }
  platform::Value::Dictionary parameters;
  parameters[Key::CleanHistory::modules] = platform::Value(std::move(list));
  if (lastCompleteCleanDate) {
    parameters[Key::CleanHistory::lastCompleteCleanTimestamp] =
        platform::Value(lastCompleteCleanDate->timeIntervalSince1970());
  }
  platform::Value::Dictionary reply;
  reply[Key::method] = platform::Value(std::string("cleaningHistory"));
  reply[Key::parameters] = platform::Value(std::move(parameters));
  return reply;
}

std::optional<ScanGroupName> CleanHistory::categoryOf(ItemGroupName group) {
  switch (group) {
    case ItemGroupName::userLogs:
    case ItemGroupName::userCache:
    case ItemGroupName::systemCache:
    case ItemGroupName::systemLogs:
    case ItemGroupName::applicationsLanguages:
    case ItemGroupName::systemLanguages:
      return ScanGroupName::system;
    case ItemGroupName::trashBin:
    case ItemGroupName::temporaryFiles:
      return ScanGroupName::leftovers;
    case ItemGroupName::memory:
      return ScanGroupName::memory;
    case ItemGroupName::duplicates:
      return ScanGroupName::duplicates;
    case ItemGroupName::applications:
      return ScanGroupName::applications;
    case ItemGroupName::bigFiles:
      return ScanGroupName::bigFiles;
    case ItemGroupName::mailAttachments:
      return ScanGroupName::mailAttachments;
    case ItemGroupName::shredder:
      return ScanGroupName::shredder;
  }
  return std::nullopt;
}

}  // namespace vozi
