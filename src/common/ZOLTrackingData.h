#pragma once

#include <optional>
#include <string>

namespace vozi {

// The campaign attribution of this installation, as the daemon keeps it.
struct ZOLTrackingData {
  bool retrieved = false;
  std::optional<std::string> clientID;
  std::optional<std::string> campaignID;
  std::optional<std::string> campaignSource;
  std::optional<std::string> campaignMedium;
  std::optional<std::string> campaignKeyword;
  std::optional<std::string> campaignContent;
  std::optional<std::string> googleAdWordsID;
  std::optional<std::string> documentReferrer;
  std::optional<std::string> utmDevice;
  std::optional<std::string> utmMatchType;
  std::optional<std::string> utmAdGroup;

  friend bool operator==(const ZOLTrackingData&, const ZOLTrackingData&) = default;
};

}  // namespace vozi
