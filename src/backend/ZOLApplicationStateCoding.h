#pragma once

#include "common/ZOLApplicationState.h"
#include "store/MOApplicationState.h"

namespace vozi {

// The application state as the store keeps it.
struct ZOLApplicationStateCoding {
  // The stored row's e-mail address, and as the user identifier the one the
  // backend gave ("userId") or, before that, the one made here
  // ("generatedUserId").
  static ZOLApplicationState withStoredModel(const MOApplicationState& stored);
};

}  // namespace vozi
