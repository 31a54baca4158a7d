#pragma once

#include <optional>
#include <string>

namespace vozi::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace vozi::platform

namespace vozi {

// The installation's campaign and tracking values, as the interface reads them.
class ZOLMTrackingData {
 public:
  static constexpr std::string_view kClassName = "ZOLMTrackingData";

  ZOLMTrackingData() = default;
  ZOLMTrackingData(std::optional<std::string> clientID, std::optional<std::string> campaignID,
                   std::optional<std::string> campaignSource, std::optional<std::string> campaignMedium,
                   std::optional<std::string> campaignKeyword, std::optional<std::string> campaignContent,
                   std::optional<std::string> googleAdWordsID, std::optional<std::string> documentReferrer,
                   std::optional<std::string> utmDevice, std::optional<std::string> utmMatchType,
                   std::optional<std::string> utmAdGroup, bool retrieved)
      : clientID_(std::move(clientID)),
        campaignID_(std::move(campaignID)),
        campaignSource_(std::move(campaignSource)),
        campaignMedium_(std::move(campaignMedium)),
        campaignKeyword_(std::move(campaignKeyword)),
        campaignContent_(std::move(campaignContent)),
        googleAdWordsID_(std::move(googleAdWordsID)),
        documentReferrer_(std::move(documentReferrer)),
        utmDevice_(std::move(utmDevice)),
        utmMatchType_(std::move(utmMatchType)),
        utmAdGroup_(std::move(utmAdGroup)),
        retrieved_(retrieved) {}

  // Reads an archived record; missing strings read as none, a missing
  // "retrieved" as false.
  explicit ZOLMTrackingData(platform::KeyedUnarchiver& unarchiver);
  void encode(platform::KeyedArchiver& archiver) const;

  const std::optional<std::string>& clientID() const { return clientID_; }
  const std::optional<std::string>& campaignID() const { return campaignID_; }
  const std::optional<std::string>& campaignSource() const { return campaignSource_; }
  const std::optional<std::string>& campaignMedium() const { return campaignMedium_; }
  const std::optional<std::string>& campaignKeyword() const { return campaignKeyword_; }
  const std::optional<std::string>& campaignContent() const { return campaignContent_; }
  const std::optional<std::string>& googleAdWordsID() const { return googleAdWordsID_; }
  const std::optional<std::string>& documentReferrer() const { return documentReferrer_; }
  const std::optional<std::string>& utmDevice() const { return utmDevice_; }
  const std::optional<std::string>& utmMatchType() const { return utmMatchType_; }
  const std::optional<std::string>& utmAdGroup() const { return utmAdGroup_; }
  // Whether the values have been obtained.
  bool retrieved() const { return retrieved_; }

  friend bool operator==(const ZOLMTrackingData&, const ZOLMTrackingData&) = default;

 private:
  std::optional<std::string> clientID_;
  std::optional<std::string> campaignID_;
  std::optional<std::string> campaignSource_;
  std::optional<std::string> campaignMedium_;
  std::optional<std::string> campaignKeyword_;
  std::optional<std::string> campaignContent_;
  std::optional<std::string> googleAdWordsID_;
  std::optional<std::string> documentReferrer_;
  std::optional<std::string> utmDevice_;
  std::optional<std::string> utmMatchType_;
  std::optional<std::string> utmAdGroup_;
  bool retrieved_ = false;
};

}  // namespace vozi
