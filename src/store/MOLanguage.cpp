#include "store/MOLanguage.h"

#include "store/MOLanguageURL.h"
#include "store/MOScanSubGroup.h"

namespace vozi {

std::shared_ptr<MOScanSubGroup> MOLanguage::subgroup() const { return objectAs<MOScanSubGroup>("subgroup"); }
void MOLanguage::setSubgroup(const std::shared_ptr<MOScanSubGroup>& object) { setObject("subgroup", object); }
std::vector<std::shared_ptr<MOLanguageURL>> MOLanguage::urls() const { return objectsAs<MOLanguageURL>("urls"); }
void MOLanguage::addUrlsObject(const std::shared_ptr<MOLanguageURL>& object) { addObject("urls", object); }
void MOLanguage::removeUrlsObject(const std::shared_ptr<MOLanguageURL>& object) { removeObject("urls", object); }

}  // namespace vozi
