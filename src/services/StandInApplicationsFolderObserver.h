#pragma once

#include "services/IApplicationsFolderObserver.h"

namespace vozi {

// The applications folder is not watched.
class StandInApplicationsFolderObserver : public IApplicationsFolderObserver {
 public:
  void start() override {}
  void stop() override {}
};

}  // namespace vozi
