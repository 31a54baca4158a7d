#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/Value.h"
#include "platform/store/ManagedObject.h"

namespace vozi {

// Campaign attribution of the installation: one row. The column is spelled
// utmMachType; the record field it comes from is utmMatchType.
class MOTrackingData : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "TrackingData";

  std::optional<std::string> campaignContent() const { return ManagedObject::string("campaignContent"); }
  void setCampaignContent(std::optional<std::string> value) { ManagedObject::setString("campaignContent", std::move(value)); }
  std::optional<std::string> campaignID() const { return ManagedObject::string("campaignID"); }
  void setCampaignID(std::optional<std::string> value) { ManagedObject::setString("campaignID", std::move(value)); }
  std::optional<std::string> campaignKeyword() const { return ManagedObject::string("campaignKeyword"); }
  void setCampaignKeyword(std::optional<std::string> value) { ManagedObject::setString("campaignKeyword", std::move(value)); }
  std::optional<std::string> campaignMedium() const { return ManagedObject::string("campaignMedium"); }
  void setCampaignMedium(std::optional<std::string> value) { ManagedObject::setString("campaignMedium", std::move(value)); }
  std::optional<std::string> campaignSource() const { return ManagedObject::string("campaignSource"); }
  void setCampaignSource(std::optional<std::string> value) { ManagedObject::setString("campaignSource", std::move(value)); }
  std::optional<std::string> clientID() const { return ManagedObject::string("clientID"); }
  void setClientID(std::optional<std::string> value) { ManagedObject::setString("clientID", std::move(value)); }
  std::optional<std::string> documentReferrer() const { return ManagedObject::string("documentReferrer"); }
  void setDocumentReferrer(std::optional<std::string> value) { ManagedObject::setString("documentReferrer", std::move(value)); }
  std::optional<std::string> googleAdWordsID() const { return ManagedObject::string("googleAdWordsID"); }
  void setGoogleAdWordsID(std::optional<std::string> value) { ManagedObject::setString("googleAdWordsID", std::move(value)); }
  bool retrieved() const { return ManagedObject::boolean("retrieved"); }
  void setRetrieved(bool value) { ManagedObject::setBoolean("retrieved", value); }
  std::optional<std::string> utmAdGroup() const { return ManagedObject::string("utmAdGroup"); }
  void setUtmAdGroup(std::optional<std::string> value) { ManagedObject::setString("utmAdGroup", std::move(value)); }
  std::optional<std::string> utmDevice() const { return ManagedObject::string("utmDevice"); }
  void setUtmDevice(std::optional<std::string> value) { ManagedObject::setString("utmDevice", std::move(value)); }
  std::optional<std::string> utmMachType() const { return ManagedObject::string("utmMachType"); }
  void setUtmMachType(std::optional<std::string> value) { ManagedObject::setString("utmMachType", std::move(value)); }
};

}  // namespace vozi
