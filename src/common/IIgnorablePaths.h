#pragma once

#include <string>
#include <vector>

#include "platform/URL.h"

namespace vozi {

// A group whose scan passes over some paths.
class IIgnorablePaths {
 public:
  virtual ~IIgnorablePaths() = default;
  virtual const std::vector<std::string>& ignorePathFragments() const = 0;
  virtual void setIgnorePathFragments(std::vector<std::string> fragments) = 0;
  virtual const std::vector<platform::URL>& ignoreURLs() const = 0;
  virtual void setIgnoreURLs(std::vector<platform::URL> urls) = 0;
};

}  // namespace vozi
