#pragma once

#include "services/IApplicationIntegrityManager.h"

namespace vozi {

// The application bundle is not watched.
class StandInApplicationIntegrityManager : public IApplicationIntegrityManager {
 public:
  void startWatching(const std::string&) override {}
};

}  // namespace vozi
