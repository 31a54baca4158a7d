#include "common/ZOLMItemGroupHistory.h"

#include "common/RecordCoding.h"
#include "common/RecordDescription.h"

namespace vozi {

ZOLMItemGroupHistory::ZOLMItemGroupHistory(platform::KeyedUnarchiver& unarchiver)
    : size_(recordcoding::decodeUInt64(unarchiver, "size")),
      total_(recordcoding::decodeUInt64(unarchiver, "total")),
      lastDate_(unarchiver.decodeDateForKey("lastDate")) {}

void ZOLMItemGroupHistory::encode(platform::KeyedArchiver& archiver) const {
  archiver.encodeDate("lastDate", lastDate_);
  recordcoding::encodeUInt64(archiver, "size", size_);
  recordcoding::encodeUInt64(archiver, "total", total_);
}

void ZOLMItemGroupHistory::updateWithNewSize(std::uint64_t size) {
  size_ = size;
  lastDate_ = platform::Date::now();
}

std::string ZOLMItemGroupHistory::description() const {
  return "<" + std::string(kClassName) + " " + recorddescription::address(this) + "> size: " + std::to_string(size_) +
         ", totalSize: " + std::to_string(total_) + ", date: " + recorddescription::text(lastDate_);
}

}  // namespace vozi
