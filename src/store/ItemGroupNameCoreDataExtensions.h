#pragma once

#include <string>
#include <string_view>

#include "common/ItemGroupName.h"

namespace vozi {

// The stored names of the top-level groups.
class ItemGroupNameCoreDataExtensions {
 public:
  // The text with its first character capitalised and the rest unchanged:
  // "bigFiles" gives "BigFiles"; "" stays "".
  static std::string firstUppercased(std::string_view text);
  // "MO" + the raw value, first letter upper-cased, + "Group":
  // "userCache" gives "MOUserCacheGroup".
  static std::string storedEntityName(ItemGroupName name);
};

}  // namespace vozi
