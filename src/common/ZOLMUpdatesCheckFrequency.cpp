#include "common/ZOLMUpdatesCheckFrequency.h"

namespace vozi {

std::string_view stringValue(ZOLMUpdatesCheckFrequency frequency) {
  switch (frequency) {
    case ZOLMUpdatesCheckFrequency::weekly: return "weekly";
    case ZOLMUpdatesCheckFrequency::monthly: return "monthly";
    case ZOLMUpdatesCheckFrequency::daily: break;
  }
  return "daily";
}

ZOLMUpdatesCheckFrequency updatesCheckFrequencyFromString(std::string_view text) {
  if (text == "weekly") return ZOLMUpdatesCheckFrequency::weekly;
  if (text == "monthly") return ZOLMUpdatesCheckFrequency::monthly;
  return ZOLMUpdatesCheckFrequency::daily;
}

}  // namespace vozi
