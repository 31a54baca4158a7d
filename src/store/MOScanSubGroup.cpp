#include "store/MOScanSubGroup.h"

#include "store/MOApplicationsInstalled.h"
#include "store/MODuplicates.h"
#include "store/MOFile.h"
#include "store/MOLanguage.h"
#include "store/MOScanGroup.h"
#include "store/MOScanSection.h"

namespace vozi {

std::vector<std::shared_ptr<MOApplicationsInstalled>> MOScanSubGroup::appsInstalled() const { return objectsAs<MOApplicationsInstalled>("appsInstalled"); }
void MOScanSubGroup::addAppsInstalledObject(const std::shared_ptr<MOApplicationsInstalled>& object) { addObject("appsInstalled", object); }
void MOScanSubGroup::removeAppsInstalledObject(const std::shared_ptr<MOApplicationsInstalled>& object) { removeObject("appsInstalled", object); }
std::vector<std::shared_ptr<MOFile>> MOScanSubGroup::bigFiles() const { return objectsAs<MOFile>("bigFiles"); }
void MOScanSubGroup::addBigFilesObject(const std::shared_ptr<MOFile>& object) { addObject("bigFiles", object); }
void MOScanSubGroup::removeBigFilesObject(const std::shared_ptr<MOFile>& object) { removeObject("bigFiles", object); }
std::vector<std::shared_ptr<MODuplicates>> MOScanSubGroup::duplicates() const { return objectsAs<MODuplicates>("duplicates"); }
void MOScanSubGroup::addDuplicatesObject(const std::shared_ptr<MODuplicates>& object) { addObject("duplicates", object); }
void MOScanSubGroup::removeDuplicatesObject(const std::shared_ptr<MODuplicates>& object) { removeObject("duplicates", object); }
std::vector<std::shared_ptr<MOLanguage>> MOScanSubGroup::languages() const { return objectsAs<MOLanguage>("languages"); }
void MOScanSubGroup::addLanguagesObject(const std::shared_ptr<MOLanguage>& object) { addObject("languages", object); }
void MOScanSubGroup::removeLanguagesObject(const std::shared_ptr<MOLanguage>& object) { removeObject("languages", object); }
std::vector<std::shared_ptr<MOFile>> MOScanSubGroup::mailAttachments() const { return objectsAs<MOFile>("mailAttachments"); }
void MOScanSubGroup::addMailAttachmentsObject(const std::shared_ptr<MOFile>& object) { addObject("mailAttachments", object); }
void MOScanSubGroup::removeMailAttachmentsObject(const std::shared_ptr<MOFile>& object) { removeObject("mailAttachments", object); }
std::shared_ptr<MOScanGroup> MOScanSubGroup::scanGroup() const { return objectAs<MOScanGroup>("scanGroup"); }
void MOScanSubGroup::setScanGroup(const std::shared_ptr<MOScanGroup>& object) { setObject("scanGroup", object); }
std::vector<std::shared_ptr<MOScanSection>> MOScanSubGroup::sections() const { return objectsAs<MOScanSection>("sections"); }
void MOScanSubGroup::addSectionsObject(const std::shared_ptr<MOScanSection>& object) { addObject("sections", object); }
void MOScanSubGroup::removeSectionsObject(const std::shared_ptr<MOScanSection>& object) { removeObject("sections", object); }

}  // namespace vozi
