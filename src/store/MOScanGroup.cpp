#include "store/MOScanGroup.h"

#include "store/MOBackgroundScanResults.h"
#include "store/MOScanSubGroup.h"

namespace vozi {

std::shared_ptr<MOBackgroundScanResults> MOScanGroup::backgroundScan() const { return objectAs<MOBackgroundScanResults>("backgroundScan"); }
void MOScanGroup::setBackgroundScan(const std::shared_ptr<MOBackgroundScanResults>& object) { setObject("backgroundScan", object); }
std::vector<std::shared_ptr<MOScanSubGroup>> MOScanGroup::scanSubGroups() const { return objectsAs<MOScanSubGroup>("scanSubGroups"); }
void MOScanGroup::addScanSubGroupsObject(const std::shared_ptr<MOScanSubGroup>& object) { addObject("scanSubGroups", object); }
void MOScanGroup::removeScanSubGroupsObject(const std::shared_ptr<MOScanSubGroup>& object) { removeObject("scanSubGroups", object); }

}  // namespace vozi
