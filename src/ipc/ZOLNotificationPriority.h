#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vozi {

// How urgently the agent should show a notification; sent with
// scheduleWithNotification as its raw integer. What each level means is the
// agent's business.
enum class ZOLNotificationPriority : std::int64_t {
  low = 0,
  normal = 1,
  high = 2,
};

inline constexpr std::array kAllNotificationPriorities{ZOLNotificationPriority::low, ZOLNotificationPriority::normal,
                                                       ZOLNotificationPriority::high};

inline constexpr std::int64_t rawValue(ZOLNotificationPriority priority) {
  return static_cast<std::int64_t>(priority);
}

// The priority whose raw value is `raw`; none outside 0...2.
inline constexpr std::optional<ZOLNotificationPriority> notificationPriorityFromRawValue(std::int64_t raw) {
  for (const auto priority : kAllNotificationPriorities)
    if (rawValue(priority) == raw) return priority;
  return std::nullopt;
}

}  // namespace vozi
