#pragma once

#include <cstdint>

namespace vozi {

// Something a sanitizer may remove, as its remove callbacks report it.
class RedundantItem {
 public:
  virtual ~RedundantItem() = default;
  virtual std::uint64_t size() const = 0;
};

}  // namespace vozi
