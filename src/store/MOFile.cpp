#include "store/MOFile.h"

#include "store/MOScanSubGroup.h"

namespace vozi {

std::shared_ptr<MOScanSubGroup> MOFile::mailAttachmentsSubGroupId() const { return objectAs<MOScanSubGroup>("mailAttachmentsSubGroupId"); }
void MOFile::setMailAttachmentsSubGroupId(const std::shared_ptr<MOScanSubGroup>& object) { setObject("mailAttachmentsSubGroupId", object); }
std::shared_ptr<MOScanSubGroup> MOFile::subGroupId() const { return objectAs<MOScanSubGroup>("subGroupId"); }
void MOFile::setSubGroupId(const std::shared_ptr<MOScanSubGroup>& object) { setObject("subGroupId", object); }

}  // namespace vozi
