#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/Value.h"
#include "platform/store/ManagedObject.h"

namespace vozi {

class MOLanguage;

// One path of a localization.
class MOLanguageURL : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOLanguageURL";

  std::optional<std::string> path() const { return ManagedObject::string("path"); }
  void setPath(std::optional<std::string> value) { ManagedObject::setString("path", std::move(value)); }
  std::shared_ptr<MOLanguage> lang() const;
  void setLang(const std::shared_ptr<MOLanguage>& object);
};

}  // namespace vozi
