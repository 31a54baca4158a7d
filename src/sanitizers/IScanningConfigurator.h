#pragma once

#include "common/IModelItem.h"

namespace vozi {

class SanitizingProcessor;

// Fills a group's scan parameters (exclusions, file kinds, minimum size,
// last-use limit) from the user's preferences before the processor picks
// its sanitizer. The processor holds it weakly and calls it on the thread
// that started the scan, once per group, in the groups' order, for scans
// only.
class IScanningConfigurator {
 public:
  virtual ~IScanningConfigurator() = default;
  virtual void sanitizingProcessor(SanitizingProcessor& processor, IModelItem& configureForScanning) = 0;
};

}  // namespace vozi
