#pragma once

#include <algorithm>
#include <cstddef>

namespace vozi::platform {

// Makes room in `container` (a vector or an unordered map) for `more`
// elements about to be added one by one, so it does not grow or rehash
// step by step on the way. It grows at least twofold, so many small
// batches cost no more than one large one.
template <typename Container>
void reserveAhead(Container& container, std::size_t more) {
  const std::size_t needed = container.size() + more;
  bool fits = false;
  if constexpr (requires { container.capacity(); })
    fits = needed <= container.capacity();
  else
    fits = static_cast<float>(needed) <= static_cast<float>(container.bucket_count()) * container.max_load_factor();
  if (!fits) container.reserve(std::max(needed, 2 * container.size()));
}

}  // namespace vozi::platform
