#pragma once

#include <memory>
#include <string>

#include "platform/store/ManagedObjectModel.h"

namespace vozi {

// The model of the "VOZi" store: the stored mirror of the item-group tree.
// Every record, leaf or group, lives in the MOModelItem family; groups hold
// members many-to-many (MOItemGroup.items / MOModelItem.itemGroup), so one
// record can sit in several groups. A group owns its two histories: deleting
// the group deletes them. Members are never deleted with a group by the
// model; the store manager deletes the ones no group holds any more.
class VOZiModel {
 public:
  // The model, built once; null with the reason when it does not build.
  static std::shared_ptr<const platform::ManagedObjectModel> make(std::string* failure = nullptr);
};

}  // namespace vozi
