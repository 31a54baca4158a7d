#include "common/DuplicatesGroup.h"

#include "common/RecordCoding.h"
#include "common/RecordDescription.h"

namespace vozi {

DuplicatesGroup::DuplicatesGroup(platform::KeyedUnarchiver& unarchiver)
    : ItemGroup(unarchiver), scanningURLs_(recordcoding::decodeURLs(unarchiver, "scanningURLs")) {}

void DuplicatesGroup::encode(platform::KeyedArchiver& archiver) const {
  ItemGroup::encode(archiver);
  recordcoding::encodeURLs(archiver, "scanningURLs", scanningURLs_);
}

std::string DuplicatesGroup::description() const {
  return ItemGroup::description() + " ScanningURLs: " + recorddescription::list(scanningURLs_) + ".";
}

}  // namespace vozi
