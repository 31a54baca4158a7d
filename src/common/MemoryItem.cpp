#include "common/MemoryItem.h"

#include "common/RecordDescription.h"

namespace vozi {

std::string MemoryItem::description() const {
  std::string text = recorddescription::header(className(), this);
  if (name_) text += "Name: " + *name_ + ".";
  text += " Identifier " + recorddescription::text(identifier_) + ", size " +
          std::to_string(static_cast<long long>(size_)) + ", installed memory size " +
          std::to_string(static_cast<long long>(installedMemorySize_)) + ".";
  return text;
}

}  // namespace vozi
