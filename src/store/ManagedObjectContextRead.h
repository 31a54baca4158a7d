#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Predicate.h"

namespace vozi {

// The one way the stores fetch. Both run on the context's queue; a failed
// fetch stops the process with "Can't read entity <name>: <error>".
class ManagedObjectContextRead {
 public:
  // Every object of the entity (sub-entities included), in store order.
  static std::vector<platform::ManagedObjectPtr> read(platform::ManagedObjectContext& moc,
                                                      const std::string& entityName);
  // The general fetch: an optional sort key (ascending when sortDirection is
  // true; ignored without a key), a limit (0 or less: none), an optional
  // predicate, and lightWeight: only the entity itself and only what the
  // file holds (unsaved changes of the context are not seen).
  static std::vector<platform::ManagedObjectPtr> read(platform::ManagedObjectContext& moc,
                                                      const std::string& entityName,
                                                      const std::optional<std::string>& sortBy,
                                                      bool sortDirection = true, std::int64_t fetchLimit = 0,
                                                      const std::optional<platform::Predicate>& predicate = {},
                                                      bool lightWeight = false);
};

}  // namespace vozi
