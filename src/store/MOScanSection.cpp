#include "store/MOScanSection.h"

#include "store/MOScanSubGroup.h"

namespace vozi {

std::shared_ptr<MOScanSubGroup> MOScanSection::scanSubGroup() const { return objectAs<MOScanSubGroup>("scanSubGroup"); }
void MOScanSection::setScanSubGroup(const std::shared_ptr<MOScanSubGroup>& object) { setObject("scanSubGroup", object); }

}  // namespace vozi
