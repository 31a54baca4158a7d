#pragma once

#include <optional>
#include <vector>

#include "platform/URL.h"

namespace vozi {

// A group that scans a list of folders.
class IURLsRelated {
 public:
  virtual ~IURLsRelated() = default;
  virtual const std::optional<std::vector<platform::URL>>& scanningURLs() const = 0;
  virtual void setScanningURLs(std::optional<std::vector<platform::URL>> urls) = 0;
};

}  // namespace vozi
