#pragma once

#include <optional>
#include <string>

#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// One stored application with its leftovers; rebuilt by its applications group.
class MOApplicationItem : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOApplicationItem";

  // The application bundle's path.
  std::optional<std::string> path() const { return ManagedObject::string("path"); }
  void setPath(std::optional<std::string> value) { ManagedObject::setString("path", std::move(value)); }
  // The path of its icon file, when it has one.
  std::optional<std::string> iconPath() const { return ManagedObject::string("iconPath"); }
  void setIconPath(std::optional<std::string> value) { ManagedObject::setString("iconPath", std::move(value)); }

  // Takes the bundle and icon paths as well when the runtime group is an
  // application; any other group gives only the group-level fields.
  void updateWithRuntimeModel(const ItemGroup& group) override;
};

}  // namespace vozi
