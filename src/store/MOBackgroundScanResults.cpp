#include "store/MOBackgroundScanResults.h"

#include "store/MOScanGroup.h"

namespace vozi {

std::vector<std::shared_ptr<MOScanGroup>> MOBackgroundScanResults::scanGroup() const { return objectsAs<MOScanGroup>("scanGroup"); }
void MOBackgroundScanResults::addScanGroupObject(const std::shared_ptr<MOScanGroup>& object) { addObject("scanGroup", object); }
void MOBackgroundScanResults::removeScanGroupObject(const std::shared_ptr<MOScanGroup>& object) { removeObject("scanGroup", object); }

}  // namespace vozi
