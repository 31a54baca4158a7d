#pragma once

#include <algorithm>
#include <optional>
#include <vector>

namespace vozi {

// Removes the first element equal to `element` and returns it; the list is
// unchanged and nothing is returned when no element is equal.
template <class T>
std::optional<T> removeElement(std::vector<T>& list, const T& element) {
  const auto it = std::find(list.begin(), list.end(), element);
  if (it == list.end()) return std::nullopt;
  std::optional<T> removed(std::move(*it));
  list.erase(it);
  return removed;
}

// Sets every key of `other` to its value there: keys already present are
// overwritten, the others are added.
template <class Map>
void merge(Map& target, const Map& other) {
  for (const auto& [key, value] : other) target.insert_or_assign(key, value);
}

}  // namespace vozi
