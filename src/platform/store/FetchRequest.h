#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/store/Predicate.h"

namespace vozi::platform {

struct SortDescriptor {
  std::string key;
  bool ascending = true;
};

// What a context fetch (or a batch delete) selects. Without sort descriptors
// the objects come in store order: saved objects by primary key, then the
// context's unsaved inserts in the order they were made.
struct FetchRequest {
  std::string entityName;
  std::optional<Predicate> predicate;
  std::vector<SortDescriptor> sortDescriptors;
  // 0: no limit.
  std::size_t fetchLimit = 0;
  // Objects of sub-entities too.
  bool includesSubentities = true;
  // Unsaved inserts, changes and deletions of the context are taken into
  // account; otherwise the fetch sees only what the store file holds.
  bool includesPendingChanges = true;
  // Accepted for symmetry; fetched objects always carry their values.
  bool includesPropertyValues = true;

  FetchRequest() = default;
  explicit FetchRequest(std::string entity) : entityName(std::move(entity)) {}
};

}  // namespace vozi::platform
