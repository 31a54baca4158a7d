#pragma once

#include <string>

#include "platform/UserDefaults.h"
#include "platform/Value.h"

namespace vozi {

// Moves the settings of an older user-defaults suite into another defaults
// object and then deletes the old suite with the system tool "defaults".
class UserDefaultsMigration {
 public:
  // Copies every stored setting of the suite `suiteName` (in the receiver's
  // preferences folder) into the receiver: registered, so that lookups see
  // it at once, and written to the receiver's own domain wherever the
  // receiver has no value of its own, so it outlives the process. The old
  // suite is deleted only once that write has succeeded; a suite that cannot
  // be opened or read, or a failed write, leaves it in place. Logs
  // "no settings to migrate" or "migrated settings: <settings>", and the
  // tool's error text when it gives any.
  static void migrateSuitName(platform::UserDefaults& receiver, const std::string& suiteName);

  // One-line rendering of a settings dictionary for the log:
  // {key = value; "other key" = "text"; list = (1, 2);}
  static std::string description(const platform::Value& value);
};

}  // namespace vozi
