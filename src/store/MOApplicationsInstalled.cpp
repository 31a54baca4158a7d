#include "store/MOApplicationsInstalled.h"

#include "store/MOScanSubGroup.h"

namespace vozi {

std::shared_ptr<MOScanSubGroup> MOApplicationsInstalled::subGroupId() const { return objectAs<MOScanSubGroup>("subGroupId"); }
void MOApplicationsInstalled::setSubGroupId(const std::shared_ptr<MOScanSubGroup>& object) { setObject("subGroupId", object); }

}  // namespace vozi
