#include <gtest/gtest.h>

#include "backend/ZOLTrackingDataCoding.h"
#include "platform/CocoaError.h"
#include "platform/Json.h"
#include "store/ZOLData.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using platform::CocoaError;

platform::Result<ZOLTrackingData> decode(const std::string& json) {
  auto value = platform::Json::parse(json);
  if (!value) return value.error();
  return ZOLTrackingDataCoding::fromJSON(*value);
}

constexpr char kAllStrings[] =
    R"({"client_id":"c","utm_campaign":"camp","utm_source":"src","utm_medium":"med","utm_term":"term",)"
    R"("utm_content":"","g_click_id":"g","domain":"d","utm_device":"dev","utm_matchtype":"m","utm_adgroup":"a",)"
    R"("extra":1})";
constexpr char kAllNull[] =
    R"({"client_id":null,"utm_campaign":null,"utm_source":null,"utm_medium":null,"utm_term":null,)"
    R"("utm_content":null,"g_click_id":null,"domain":null,"utm_device":null,"utm_matchtype":null,"utm_adgroup":null})";

TEST(ZOLTrackingDataTest, DecodingNeedsEveryKeyAndTakesStringsOrNull) {
  const auto all = decode(kAllStrings);
  ASSERT_TRUE(all) << all.error().localizedDescription();
  EXPECT_TRUE(all->retrieved);
  EXPECT_EQ(all->campaignID, "camp");
  EXPECT_EQ(all->campaignContent, "");  // present, empty
  EXPECT_EQ(all->utmMatchType, "m");

  const auto empty = decode(kAllNull);
  ASSERT_TRUE(empty);
  ZOLTrackingData retrievedButEmpty;
  retrievedButEmpty.retrieved = true;
  EXPECT_EQ(*empty, retrievedButEmpty);

  struct Failure {
    std::string json;
    long code;
  };
  std::string withoutDomain = kAllNull;
  withoutDomain.replace(withoutDomain.find(R"("domain":null,)"), 14, "");
  std::string wrongCase = kAllNull;
  wrongCase.replace(wrongCase.find("utm_matchtype"), 13, "utm_matchType");
  std::string number = kAllNull;
  number.replace(number.find(R"("utm_device":null)"), 17, R"("utm_device":7)");
  const Failure failures[] = {
      {withoutDomain, CocoaError::coderValueNotFound},
      {wrongCase, CocoaError::coderValueNotFound},  // another key; the listed one is missing
      {number, CocoaError::coderReadCorrupt},
      {"[]", CocoaError::coderReadCorrupt},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.json);
    const auto decoded = decode(f.json);
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error().code, f.code);
  }
}

TEST(ZOLTrackingDataTest, TheSocketFormHoldsOnlyThePresentFieldsUnderTheirKeys) {
  EXPECT_TRUE(ZOLTrackingDataCoding::IPCRepresentations(ZOLTrackingData{}).empty());
  ZOLTrackingData some;
  some.retrieved = true;
  some.googleAdWordsID = "g";
  some.utmAdGroup = "a";
  const platform::Value::Dictionary expected = {{"GoogleAdWordsID", platform::Value("g")},
                                                {"utmAdgroup", platform::Value("a")}};
  EXPECT_EQ(ZOLTrackingDataCoding::IPCRepresentations(some), expected);
  EXPECT_EQ(ZOLTrackingDataCoding::IPCRepresentations(*decode(kAllStrings)).size(), 11u);
}

TEST(ZOLTrackingDataTest, TheStoredRecordComesBackWithItsMatchType) {
  test::TempRoot root;
  ZOLData data;
  const ZOLTrackingData read = data.moc()->performAndWaitResult([&] {
    auto stored = std::dynamic_pointer_cast<MOTrackingData>(data.moc()->insertNewObject("TrackingData"));
    stored->setUtmMachType("exact");
    stored->setClientID("c");
    stored->setRetrieved(true);
    return ZOLTrackingDataCoding::withStoredModel(*stored);
  });
  ZOLTrackingData expected;
  expected.retrieved = true;
  expected.clientID = "c";
  expected.utmMatchType = "exact";
  EXPECT_EQ(read, expected);
}

}  // namespace
}  // namespace vozi
