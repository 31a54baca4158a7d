#include "common/ZOLMTrackingData.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

ZOLMTrackingData::ZOLMTrackingData(platform::KeyedUnarchiver& u)
    : ZOLMTrackingData(u.decodeStringForKey("clientID"), u.decodeStringForKey("campaignID"),
                       u.decodeStringForKey("campaignSource"), u.decodeStringForKey("campaignMedium"),
                       u.decodeStringForKey("campaignKeyword"), u.decodeStringForKey("campaignContent"),
                       u.decodeStringForKey("googleAdWordsID"), u.decodeStringForKey("documentReferrer"),
                       u.decodeStringForKey("utmDevice"), u.decodeStringForKey("utmMatchType"),
                       u.decodeStringForKey("utmAdGroup"), u.decodeBoolForKey("retrieved")) {}

void ZOLMTrackingData::encode(platform::KeyedArchiver& a) const {
  a.encode("clientID", clientID_);
  a.encode("campaignID", campaignID_);
  a.encode("campaignSource", campaignSource_);
  a.encode("campaignMedium", campaignMedium_);
  a.encode("campaignKeyword", campaignKeyword_);
  a.encode("campaignContent", campaignContent_);
  a.encode("googleAdWordsID", googleAdWordsID_);
  a.encode("documentReferrer", documentReferrer_);
  a.encode("utmDevice", utmDevice_);
  a.encode("utmMatchType", utmMatchType_);
  a.encode("utmAdGroup", utmAdGroup_);
  a.encodeBool("retrieved", retrieved_);
}

}  // namespace vozi
