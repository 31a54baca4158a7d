#include "common/MemoryItem.h"

#include "common/RecordCoding.h"
#include "common/RecordDescription.h"

namespace vozi {

MemoryItem::MemoryItem(platform::KeyedUnarchiver& unarchiver)
    : size_(recordcoding::decodeUInt64(unarchiver, "size")),
      installedMemorySize_(recordcoding::decodeUInt64(unarchiver, "installedMemory")),
      identifier_(unarchiver.decodeStringForKey("identifier")),
      name_(unarchiver.decodeStringForKey("name")) {}

void MemoryItem::encode(platform::KeyedArchiver& archiver) const {
  recordcoding::encodeUInt64(archiver, "size", size_);
  recordcoding::encodeUInt64(archiver, "installedMemory", installedMemorySize_);
  archiver.encode("identifier", identifier_);
  archiver.encode("name", name_);
}

std::string MemoryItem::description() const {
  std::string text = recorddescription::header(className(), this);
  if (name_) text += "Name: " + *name_ + ".";
  text += " Identifier " + recorddescription::text(identifier_) + ", size " +
          std::to_string(static_cast<long long>(size_)) + ", installed memory size " +
          std::to_string(static_cast<long long>(installedMemorySize_)) + ".";
  return text;
}

}  // namespace vozi
