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

class MODuplicates;

// One file of a duplicate set.
class MODupsDetails : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MODupsDetails";

  std::optional<platform::Date> lastopen() const { return ManagedObject::date("lastopen"); }
  void setLastopen(std::optional<platform::Date> value) { ManagedObject::setDate("lastopen", std::move(value)); }
  std::optional<std::string> path() const { return ManagedObject::string("path"); }
  void setPath(std::optional<std::string> value) { ManagedObject::setString("path", std::move(value)); }
  std::int64_t size() const { return ManagedObject::integer("size"); }
  void setSize(std::int64_t value) { ManagedObject::setInteger("size", value); }
  std::shared_ptr<MODuplicates> parentInfo() const;
  void setParentInfo(const std::shared_ptr<MODuplicates>& object);
};

}  // namespace vozi
