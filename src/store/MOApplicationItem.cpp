#include "store/MOApplicationItem.h"

#include "common/ApplicationItem.h"

namespace vozi {

void MOApplicationItem::updateWithRuntimeModel(const ItemGroup& group) {
  MOItemGroup::updateWithRuntimeModel(group);
  const auto* application = dynamic_cast<const ApplicationItem*>(&group);
  if (!application) return;
  setPath(application->path());
  const auto icon = application->iconURL();
  setIconPath(icon ? std::optional<std::string>(icon->path()) : std::nullopt);
}

}  // namespace vozi
