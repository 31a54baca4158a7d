#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Date.h"
#include "platform/store/ManagedObject.h"

namespace vozi {

// The stored scanning or cleaning history of a group: the size at the last
// scan or clean, the running total of all of them and the date of the last.
class MOItemGroupHistory : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOItemGroupHistory";

  std::optional<platform::Date> lastDate() const { return ManagedObject::date("lastDate"); }
  void setLastDate(std::optional<platform::Date> value) { ManagedObject::setDate("lastDate", value); }
  std::int64_t lastSize() const { return ManagedObject::integer("lastSize"); }
  void setLastSize(std::int64_t value) { ManagedObject::setInteger("lastSize", value); }
  std::int64_t totalSize() const { return ManagedObject::integer("totalSize"); }
  void setTotalSize(std::int64_t value) { ManagedObject::setInteger("totalSize", value); }

  // "<Entity lastSize: N, totalSize: N, lastDate: D>" for log lines.
  std::string historyDescription() const {
    return "<" + entity().name() + " lastSize: " + std::to_string(lastSize()) +
           ", totalSize: " + std::to_string(totalSize()) +
           ", lastDate: " + (lastDate() ? lastDate()->description() : std::string("nil")) + ">";
  }
};

}  // namespace vozi
