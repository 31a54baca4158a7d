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

// The cleaning history: one row, made empty when first asked for.
class MOCleanHistory : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "CleanHistory";

  std::optional<platform::Date> firstCleanedDate() const { return ManagedObject::date("firstCleanedDate"); }
  void setFirstCleanedDate(std::optional<platform::Date> value) { ManagedObject::setDate("firstCleanedDate", std::move(value)); }
  std::optional<platform::Date> lastCompleteCleanDate() const { return ManagedObject::date("lastCompleteCleanDate"); }
  void setLastCompleteCleanDate(std::optional<platform::Date> value) { ManagedObject::setDate("lastCompleteCleanDate", std::move(value)); }
};

}  // namespace vozi
