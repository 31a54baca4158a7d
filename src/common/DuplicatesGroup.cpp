#include "common/DuplicatesGroup.h"

#include "common/RecordDescription.h"

namespace vozi {

std::string DuplicatesGroup::description() const {
  return ItemGroup::description() + " ScanningURLs: " + recorddescription::list(scanningURLs_) + ".";
}

}  // namespace vozi
