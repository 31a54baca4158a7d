#include "backend/ZOLApplicationStateCoding.h"

namespace vozi {

ZOLApplicationState ZOLApplicationStateCoding::withStoredModel(const MOApplicationState& stored) {
  std::optional<std::string> userID = stored.userId();
  if (!userID) userID = stored.generatedUserId();
  return ZOLApplicationState(stored.userEmail(), ZOLMApplicationState(std::move(userID)));
}

}  // namespace vozi
