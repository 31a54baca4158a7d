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

class MOLanguageURL;
class MOScanSubGroup;

// One localization found by a scan.
class MOLanguage : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOLanguage";

  std::optional<std::string> fullName() const { return ManagedObject::string("fullName"); }
  void setFullName(std::optional<std::string> value) { ManagedObject::setString("fullName", std::move(value)); }
  std::optional<std::string> name() const { return ManagedObject::string("name"); }
  void setName(std::optional<std::string> value) { ManagedObject::setString("name", std::move(value)); }
  std::int64_t size() const { return ManagedObject::integer("size"); }
  void setSize(std::int64_t value) { ManagedObject::setInteger("size", value); }
  std::shared_ptr<MOScanSubGroup> subgroup() const;
  void setSubgroup(const std::shared_ptr<MOScanSubGroup>& object);
  std::vector<std::shared_ptr<MOLanguageURL>> urls() const;
  void addUrlsObject(const std::shared_ptr<MOLanguageURL>& object);
  void removeUrlsObject(const std::shared_ptr<MOLanguageURL>& object);
};

}  // namespace vozi
