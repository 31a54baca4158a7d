#include "store/MODuplicates.h"

#include "store/MODupsDetails.h"
#include "store/MOScanSubGroup.h"

namespace vozi {

std::vector<std::shared_ptr<MODupsDetails>> MODuplicates::dups() const { return objectsAs<MODupsDetails>("dups"); }
void MODuplicates::addDupsObject(const std::shared_ptr<MODupsDetails>& object) { addObject("dups", object); }
void MODuplicates::removeDupsObject(const std::shared_ptr<MODupsDetails>& object) { removeObject("dups", object); }
std::shared_ptr<MOScanSubGroup> MODuplicates::subGroupId() const { return objectAs<MOScanSubGroup>("subGroupId"); }
void MODuplicates::setSubGroupId(const std::shared_ptr<MOScanSubGroup>& object) { setObject("subGroupId", object); }

}  // namespace vozi
