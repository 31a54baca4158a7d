#include "platform/Error.h"

namespace vozi::platform {

std::string Error::localizedDescription() const {
  auto it = userInfo.find("NSLocalizedDescription");
  if (it != userInfo.end()) {
    if (auto text = it->second.asString()) return *text;
  }
  return "The operation couldn't be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

}  // namespace vozi::platform
