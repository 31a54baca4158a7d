#pragma once

#include <cstdint>
#include <string_view>

namespace vozi {

// How often the application looks for updates.
enum class ZOLMUpdatesCheckFrequency : std::int64_t {
  daily = 0,
  weekly = 1,
  monthly = 2,
};

// "daily", "weekly" or "monthly"; a value outside the three reads as "daily".
std::string_view stringValue(ZOLMUpdatesCheckFrequency frequency);
// "weekly" and "monthly" (exact match) give their cases; any other text daily.
ZOLMUpdatesCheckFrequency updatesCheckFrequencyFromString(std::string_view text);

}  // namespace vozi
