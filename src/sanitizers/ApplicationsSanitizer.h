#pragma once

#include "common/ApplicationsGroup.h"
#include "sanitizers/BaseSanitizer.h"

namespace vozi {

// The sanitizer of the applications group. It builds no operation yet
// (scan and clean answer null and queue nothing); the applications scan
// and uninstall operations take their place here when they exist.
class ApplicationsSanitizer : public BaseSanitizer<ApplicationsGroup> {
 public:
  using BaseSanitizer::BaseSanitizer;
};

}  // namespace vozi
