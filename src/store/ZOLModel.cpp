#include "store/ZOLModel.h"

#include "store/MOApplicationState.h"
#include "store/MOApplicationsInstalled.h"
#include "store/MOBackgroundScanResults.h"
#include "store/MOCleanHistory.h"
#include "store/MODuplicates.h"
#include "store/MODupsDetails.h"
#include "store/MOEvent.h"
#include "store/MOFile.h"
#include "store/MOLanguage.h"
#include "store/MOLanguageURL.h"
#include "store/MOPreferences.h"
#include "store/MOReportedEvents.h"
#include "store/MOScanGroup.h"
#include "store/MOScanSection.h"
#include "store/MOScanSubGroup.h"
#include "store/MOTrackingData.h"

namespace vozi {

namespace {

using platform::AttributeType;
using platform::DeleteRule;
using platform::ManagedObjectModel;

std::shared_ptr<const ManagedObjectModel> build(std::string* failure) {
  constexpr auto S = AttributeType::string;
  constexpr auto D = AttributeType::date;
  constexpr auto I = AttributeType::integer64;
  constexpr auto B = AttributeType::boolean;
  constexpr auto R = AttributeType::real;
  ManagedObjectModel::Builder b;
  b.entity("MOApplicationState")
      .objectClass<MOApplicationState>()
      .attribute("generatedUserId", S)
      .attribute("userEmail", S)
      .attribute("userId", S);
  b.entity("TrackingData")
      .objectClass<MOTrackingData>()
      .attribute("campaignContent", S)
      .attribute("campaignID", S)
      .attribute("campaignKeyword", S)
      .attribute("campaignMedium", S)
      .attribute("campaignSource", S)
      .attribute("clientID", S)
      .attribute("documentReferrer", S)
      .attribute("googleAdWordsID", S)
      .attribute("retrieved", B)
      .attribute("utmAdGroup", S)
      .attribute("utmDevice", S)
      .attribute("utmMachType", S);
  b.entity("MOPreferences")
      .objectClass<MOPreferences>()
      .attribute("bigFilesLastOpenMoreThan", R)
      .attribute("bigFilesMinSize", I)
      .attribute("bigFilesSearchKinds", S)
      .attribute("excludeFromDuplicatesSearch", S)
      .attribute("includeInAssistantAndBackgroundScan", S)
      .attribute("lastUpdateCheckTimestamp", R)
      .attribute("minTrashSizeToClean", I)
      .attribute("shouldDownloadUpdatesInBackground", B)
      .attribute("shouldKeepAppIconInMenuBar", B)
      .attribute("shouldMoveDeletedToTrash", B)
      .attribute("shouldStartAppInStartup", B)
      .attribute("startZOLNotificationCenterOnStart", B)
      .attribute("updatesCheckFrequency", S)
      .attribute("useZOLToCompletelyRemoveApps", B)
      .optional();
  b.entity("CleanHistory")
      .objectClass<MOCleanHistory>()
      .attribute("firstCleanedDate", D)
      .attribute("lastCompleteCleanDate", D);
  b.entity("MOEvent")
      .objectClass<MOEvent>()
      .attribute("backendJsonRepresentationData", AttributeType::data)
      .attribute("date", D)
      .indexed()
      .attribute("eventType", S);
  b.entity("MOReportedEvents")
      .objectClass<MOReportedEvents>()
      .attribute("action", S)
      .attribute("category", S)
      .attribute("created", D)
      .attribute("name", S)
      .attribute("value", S);
  b.entity("MOBackgroundScanResults")
      .objectClass<MOBackgroundScanResults>()
      .attribute("created", D)
      .toMany("scanGroup", "MOScanGroup", "backgroundScan", DeleteRule::cascade);
  b.entity("MOScanGroup")
      .objectClass<MOScanGroup>()
      .attribute("created", D)
      .attribute("isPurge", B)
      .attribute("lastCleanedDate", D)
      .attribute("lastCleanedSize", I)
      .attribute("lastScannedDate", D)
      .attribute("name", S)
      .indexed()
      .attribute("size", I)
      .attribute("totalCleanedSize", I)
      .attribute("userName", S)
      .toOne("backgroundScan", "MOBackgroundScanResults", "scanGroup")
      .toMany("scanSubGroups", "MOScanSubGroup", "scanGroup", DeleteRule::cascade);
  b.entity("MOScanSubGroup")
      .objectClass<MOScanSubGroup>()
      .attribute("name", S)
      .attribute("path", S)
      .attribute("size", I)
      .attribute("userName", S)
      .toMany("appsInstalled", "MOApplicationsInstalled", "subGroupId", DeleteRule::cascade)
      .toMany("bigFiles", "MOFile", "subGroupId", DeleteRule::cascade)
      .toMany("duplicates", "MODuplicates", "subGroupId", DeleteRule::cascade)
      .toMany("languages", "MOLanguage", "subgroup", DeleteRule::cascade)
      .toMany("mailAttachments", "MOFile", "mailAttachmentsSubGroupId", DeleteRule::cascade)
      .toOne("scanGroup", "MOScanGroup", "scanSubGroups")
      .toMany("sections", "MOScanSection", "scanSubGroup", DeleteRule::cascade);
  b.entity("MOScanSection")
      .objectClass<MOScanSection>()
      .attribute("name", S)
      .attribute("size", I)
      .toOne("scanSubGroup", "MOScanSubGroup", "sections");
  b.entity("MOApplicationsInstalled")
      .objectClass<MOApplicationsInstalled>()
      .attribute("iconPath", S)
      .attribute("lastOpen", D)
      .attribute("name", S)
      .attribute("path", S)
      .attribute("size", I)
      .attribute("timesLaunched", I)
      .toOne("subGroupId", "MOScanSubGroup", "appsInstalled");
  b.entity("MODuplicates")
      .objectClass<MODuplicates>()
      .attribute("name", S)
      .attribute("size", I)
      .toMany("dups", "MODupsDetails", "parentInfo", DeleteRule::cascade)
      .toOne("subGroupId", "MOScanSubGroup", "duplicates");
  b.entity("MODupsDetails")
      .objectClass<MODupsDetails>()
      .attribute("lastopen", D)
      .attribute("path", S)
      .attribute("size", I)
      .toOne("parentInfo", "MODuplicates", "dups");
  b.entity("MOFile")
      .objectClass<MOFile>()
      .attribute("fileName", S)
      .attribute("fileSize", I)
      .attribute("fileType", S)
      .attribute("lastOpen", D)
      .attribute("path", S)
      .toOne("mailAttachmentsSubGroupId", "MOScanSubGroup", "mailAttachments")
      .toOne("subGroupId", "MOScanSubGroup", "bigFiles");
  b.entity("MOLanguage")
      .objectClass<MOLanguage>()
      .attribute("fullName", S)
      .attribute("name", S)
      .attribute("size", I)
      .toOne("subgroup", "MOScanSubGroup", "languages")
      .toMany("urls", "MOLanguageURL", "lang", DeleteRule::cascade);
  b.entity("MOLanguageURL").objectClass<MOLanguageURL>().attribute("path", S).toOne("lang", "MOLanguage", "urls");
  return b.build(failure);
}

}  // namespace

std::shared_ptr<const platform::ManagedObjectModel> ZOLModel::make(std::string* failure) {
  static const std::string* buildFailure = nullptr;
  static const auto model = [] {
    static std::string reason;
    auto m = build(&reason);
    if (!m) buildFailure = &reason;
    return m;
  }();
  if (!model && failure && buildFailure) *failure = *buildFailure;
  return model;
}

}  // namespace vozi
