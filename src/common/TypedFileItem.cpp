#include "common/TypedFileItem.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

TypedFileItem::TypedFileItem(platform::KeyedUnarchiver& unarchiver)
    : FileItem(unarchiver), fileType_(static_cast<std::uint64_t>(unarchiver.decodeInt64ForKey("fileType"))) {}

void TypedFileItem::encode(platform::KeyedArchiver& archiver) const {
  FileItem::encode(archiver);
  // A plain integer, not a number object.
  archiver.encodeInt64("fileType", static_cast<std::int64_t>(fileType_));
}

std::string TypedFileItem::description() const {
  return FileItem::description() + " FileType " + std::to_string(static_cast<long>(fileType_)) + ".";
}

}  // namespace vozi
