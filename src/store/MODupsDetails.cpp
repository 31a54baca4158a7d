#include "store/MODupsDetails.h"

#include "store/MODuplicates.h"

namespace vozi {

std::shared_ptr<MODuplicates> MODupsDetails::parentInfo() const { return objectAs<MODuplicates>("parentInfo"); }
void MODupsDetails::setParentInfo(const std::shared_ptr<MODuplicates>& object) { setObject("parentInfo", object); }

}  // namespace vozi
