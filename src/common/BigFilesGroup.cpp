#include "common/BigFilesGroup.h"

#include "common/RecordCoding.h"

namespace vozi {

BigFilesGroup::BigFilesGroup(platform::KeyedUnarchiver& unarchiver)
    : FileTypedGroup(unarchiver), scanningURLs_(recordcoding::decodeURLs(unarchiver, "scanningURLs")) {}

void BigFilesGroup::encode(platform::KeyedArchiver& archiver) const {
  FileTypedGroup::encode(archiver);
  recordcoding::encodeURLs(archiver, "scanningURLs", scanningURLs_);
}

}  // namespace vozi
