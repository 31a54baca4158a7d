#include "common/MacroConstantsProvider.h"

namespace vozi {

std::optional<std::string> MacroConstantsProvider::zolVersionString() { return "1.0.99"; }

}  // namespace vozi
