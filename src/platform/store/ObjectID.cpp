#include "platform/store/ObjectID.h"

#include "platform/store/EntityDescription.h"

namespace vozi::platform {

std::string ObjectID::URIRepresentation() const {
  if (!entity_) return {};
  return "x-vozi://" + std::to_string(store_) + "/" + entity_->name() + "/" + (key_.temporary ? "t" : "p") +
         std::to_string(key_.id);
}

}  // namespace vozi::platform
