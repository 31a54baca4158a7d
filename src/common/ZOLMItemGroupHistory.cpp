#include "common/ZOLMItemGroupHistory.h"

#include "common/RecordDescription.h"

namespace vozi {

void ZOLMItemGroupHistory::updateWithNewSize(std::uint64_t size) {
  size_ = size;
  lastDate_ = platform::Date::now();
}

std::string ZOLMItemGroupHistory::description() const {
  return "<" + std::string(kClassName) + " " + recorddescription::address(this) + "> size: " + std::to_string(size_) +
         ", totalSize: " + std::to_string(total_) + ", date: " + recorddescription::text(lastDate_);
}

}  // namespace vozi
