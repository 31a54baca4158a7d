#include "backend/ZOLTrackingDataCoding.h"

#include <array>

#include "ipc/RemoteMessageKey.h"
#include "platform/CocoaError.h"

namespace vozi {

namespace {

using Field = std::optional<std::string> ZOLTrackingData::*;
namespace Key = RemoteMessageKey::TrackingData;

struct FieldKeys {
  Field field;
  const char* json;  // in "tracking_data"
  const char* ipc;   // in the socket protocol's dictionary
};

// In the order the socket dictionary is filled.
constexpr std::array<FieldKeys, 11> kFields = {{
    {&ZOLTrackingData::campaignID, "utm_campaign", Key::campaignID},
    {&ZOLTrackingData::campaignSource, "utm_source", Key::campaignSource},
    {&ZOLTrackingData::campaignMedium, "utm_medium", Key::campaignMedium},
    {&ZOLTrackingData::campaignKeyword, "utm_term", Key::campaignKeyword},
    {&ZOLTrackingData::campaignContent, "utm_content", Key::campaignContent},
    {&ZOLTrackingData::googleAdWordsID, "g_click_id", Key::googleAdWordsID},
    {&ZOLTrackingData::documentReferrer, "domain", Key::documentReferrer},
    {&ZOLTrackingData::clientID, "client_id", Key::clientID},
    {&ZOLTrackingData::utmDevice, "utm_device", Key::utmDevice},
    {&ZOLTrackingData::utmMatchType, "utm_matchtype", Key::utmMatchtype},
    {&ZOLTrackingData::utmAdGroup, "utm_adgroup", Key::utmAdgroup},
}};

}  // namespace

platform::Result<ZOLTrackingData> ZOLTrackingDataCoding::fromJSON(const platform::Value& object) {
  using platform::CocoaError;
  if (object.type() != platform::Value::Type::dictionary) {
    return CocoaError::make(CocoaError::coderReadCorrupt, "\"tracking_data\" is not an object");
  }
  ZOLTrackingData record;
  for (const FieldKeys& keys : kFields) {
    const platform::Value* value = object.find(keys.json);
    if (!value) {
      return CocoaError::make(CocoaError::coderValueNotFound,
                              std::string("No value associated with key \"") + keys.json + "\"");
    }
    if (value->isNull()) continue;
    const std::string* text = value->asString();
    if (!text) {
      return CocoaError::make(CocoaError::coderReadCorrupt,
                              std::string("Expected a string or null under \"") + keys.json + "\"");
    }
    record.*keys.field = *text;
  }
  record.retrieved = true;
  return record;
}

ZOLTrackingData ZOLTrackingDataCoding::withStoredModel(const MOTrackingData& stored) {
  ZOLTrackingData record;
  record.campaignContent = stored.campaignContent();
  record.campaignID = stored.campaignID();
  record.campaignKeyword = stored.campaignKeyword();
  record.campaignMedium = stored.campaignMedium();
  record.campaignSource = stored.campaignSource();
  record.clientID = stored.clientID();
  record.documentReferrer = stored.documentReferrer();
  record.googleAdWordsID = stored.googleAdWordsID();
  record.utmMatchType = stored.utmMachType();
  record.utmAdGroup = stored.utmAdGroup();
  record.utmDevice = stored.utmDevice();
  record.retrieved = stored.retrieved();
  return record;
}

platform::Value::Dictionary ZOLTrackingDataCoding::IPCRepresentations(const ZOLTrackingData& record) {
  platform::Value::Dictionary dictionary;
  for (const FieldKeys& keys : kFields) {
    if (const auto& text = record.*keys.field) dictionary[keys.ipc] = platform::Value(*text);
  }
  return dictionary;
}

}  // namespace vozi
