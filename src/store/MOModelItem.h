#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/store/ManagedObject.h"

namespace vozi {

class MOItemGroup;

// The root of every stored record of the "VOZi" store, leaf and group alike.
// One record can sit in several groups (itemGroup is the inverse of
// MOItemGroup.items).
class MOModelItem : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOModelItem";

  std::optional<std::string> identifier() const { return ManagedObject::string("identifier"); }
  void setIdentifier(std::optional<std::string> value) { ManagedObject::setString("identifier", std::move(value)); }
  std::optional<std::string> name() const { return ManagedObject::string("name"); }
  void setName(std::optional<std::string> value) { ManagedObject::setString("name", std::move(value)); }
  // Bytes; the runtime's unsigned size held as a signed number.
  std::int64_t size() const { return ManagedObject::integer("size"); }
  void setSize(std::int64_t value) { ManagedObject::setInteger("size", value); }

  // The groups that hold this record.
  std::vector<std::shared_ptr<MOItemGroup>> itemGroup() const;
  std::size_t itemGroupCount() const { return ManagedObject::objectCount("itemGroup"); }
};

using MOModelItemPtr = std::shared_ptr<MOModelItem>;

}  // namespace vozi
