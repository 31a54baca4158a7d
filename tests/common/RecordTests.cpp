#include <gtest/gtest.h>

#include "common/ZOLApplicationState.h"
#include "common/ZOLEvent.h"
#include "common/ZOLEventType.h"
#include "common/ZOLMApplicationState.h"
#include "common/ZOLMPreferences.h"
#include "common/ZOLMTrackingData.h"

using namespace vozi;

TEST(ZOLMPreferences, StartsWithTheBuiltInDefaults) {
  const ZOLMPreferences preferences;
  EXPECT_EQ(preferences.updatesCheckFrequency(), ZOLMUpdatesCheckFrequency::daily);
  EXPECT_TRUE(preferences.shouldDownloadUpdatesInBackground());
  EXPECT_EQ(preferences.lastUpdateCheckTimestamp(), 0.0);
  EXPECT_TRUE(preferences.shouldMoveDeletedToTrash());
  EXPECT_EQ(preferences.minTrashSizeToClean(), 2147483648u);
  EXPECT_TRUE(preferences.shouldKeepAppIconInMenuBar());
  EXPECT_TRUE(preferences.shouldStartAppInStartup());
  EXPECT_TRUE(preferences.useZOLToCompletelyRemoveApps());
  EXPECT_TRUE(preferences.startZOLNotificationCenterOnStart());
  EXPECT_EQ(preferences.includeInAssistantAndBackgroundScan(),
            (std::vector<std::string>{"systemCache", "systemLogs", "userCache", "userLogs", "systemLanguages",
                                      "applicationsLanguages", "trashBin", "temporaryFiles", "applications"}));
  EXPECT_EQ(preferences.excludeFromDuplicatesSearch(),
            (std::vector<std::string>{"dropbox", ".svn", ".git", ".hg", ".iml"}));
  EXPECT_EQ(preferences.bigFilesMinSize(), 52422800u);
  EXPECT_EQ(preferences.bigFilesSearchKinds(),
            (std::vector<std::string>{"Tracks", "Movies", "Photos", "Archives", "Documents"}));
  EXPECT_EQ(preferences.bigFilesLastOpenMoreThan(), -2592000);
}

TEST(ZOLMPreferences, UpdateWithTakesEveryFieldAndCopiesAreIndependent) {
  ZOLMPreferences other(ZOLMUpdatesCheckFrequency::monthly, false, 12.5, false, 7, false, false, false, false, {"memory"},
                        {"x"}, 9, {"Photos"}, -1);
  ZOLMPreferences preferences;
  preferences.updateWith(other);
  EXPECT_EQ(preferences, other);
  ZOLMPreferences copy = preferences;
  copy.setBigFilesSearchKinds({"Movies"});
  EXPECT_EQ(preferences.bigFilesSearchKinds(), std::vector<std::string>{"Photos"});
}

TEST(ZOLMPreferences, DescribesEveryFieldInOrder) {
  EXPECT_EQ(ZOLMPreferences(ZOLMUpdatesCheckFrequency::weekly, true, 1.5, false, 3, true, false, true, false,
                            {"memory"}, {}, 4, {"Photos", "Movies"}, -2592000)
                .description(),
            "<ZOLMPreferences: updatesCheckFrequency 1, shouldDownloadUpdatesInBackground 1, lastUpdateCheckTimestamp "
            "1.500000, shouldMoveDeletedToTrash 0, minTrashSizeToClean 3, shouldKeepAppIconInMenuBar 1, "
            "shouldStartAppInStartup 0, useZOLToCompletelyRemoveApps 1, startZOLNotificationCenterOnStart 0, "
            "includeInAssistantAndBackgroundScan (\n    \"memory\"\n), excludeFromDuplicatesSearch (), "
            "bigFilesMinSize 4, bigFilesSearchKinds (\n    \"Photos\",\n    \"Movies\"\n), bigFilesLastOpenMoreThan "
            "-2592000>");
}

TEST(ZOLMUpdatesCheckFrequency, ReadsItsStringFormExactly) {
  EXPECT_EQ(updatesCheckFrequencyFromString("monthly"), ZOLMUpdatesCheckFrequency::monthly);
  EXPECT_EQ(updatesCheckFrequencyFromString("weekly"), ZOLMUpdatesCheckFrequency::weekly);
  EXPECT_EQ(updatesCheckFrequencyFromString("Weekly"), ZOLMUpdatesCheckFrequency::daily);
  EXPECT_EQ(updatesCheckFrequencyFromString("daily"), ZOLMUpdatesCheckFrequency::daily);
  EXPECT_EQ(updatesCheckFrequencyFromString(""), ZOLMUpdatesCheckFrequency::daily);
  EXPECT_EQ(stringValue(ZOLMUpdatesCheckFrequency::monthly), "monthly");
  EXPECT_EQ(stringValue(static_cast<ZOLMUpdatesCheckFrequency>(9)), "daily");
}

TEST(ZOLMApplicationState, DictionaryFormHoldsTheUserIdentifierOnlyWhenSet) {
  ZOLMApplicationState state;
  EXPECT_TRUE(state.plistRepresentation().empty());
  state.update("user-1");
  const auto dictionary = state.dictionaryRepresentation();
  ASSERT_EQ(dictionary.size(), 1u);
  EXPECT_EQ(*dictionary.at("userID").asString(), "user-1");
  EXPECT_EQ(ZOLMApplicationState(dictionary).userID(), "user-1");
  state.update(std::nullopt);
  EXPECT_EQ(state.userID(), "user-1");
  state.update("user-2");
  EXPECT_EQ(state.userID(), "user-2");
  EXPECT_FALSE(ZOLMApplicationState(platform::Value::Dictionary{{"userID", platform::Value(5)}}).userID());

  ZOLApplicationState runtime(std::string("a@b.c"), state);
  EXPECT_EQ(runtime.modelObject().userID(), "user-2");
  EXPECT_EQ(runtime.userEmail(), "a@b.c");
}

TEST(ZOLMTrackingData, KeepsTheValuesItWasMadeWith) {
  std::string source = "newsletter";
  const ZOLMTrackingData data("client", "campaign", source, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                              std::nullopt, std::nullopt, std::nullopt, "group", true);
  source += "-changed";
  EXPECT_EQ(data.campaignSource(), "newsletter");
  EXPECT_EQ(data.campaignID(), "campaign");
  EXPECT_EQ(data.utmAdGroup(), "group");
  EXPECT_FALSE(data.campaignMedium());
  EXPECT_TRUE(data.retrieved());
  EXPECT_FALSE(ZOLMTrackingData().retrieved());
}

TEST(ZOLEventType, RawValuesAreTheCaseNames) {
  EXPECT_EQ(rawValue(ZOLEventType::cleanResults), "cleanResults");
  EXPECT_EQ(rawValue(ZOLEventType::userEvent), "userEvent");
  EXPECT_EQ(fromRawValue<ZOLEventType>("userEvent"), ZOLEventType::userEvent);
  EXPECT_FALSE(fromRawValue<ZOLEventType>("UserEvent"));
}

TEST(ZOLMPreferences, BigFileSearchKindsBecomeFileKindsInOrder) {
  ZOLMPreferences preferences;
  preferences.setBigFilesSearchKinds({"Movies", "NoSuchKind", "Documents"});
  EXPECT_EQ(preferences.bigFilesSearchFileTypes(),
            (std::vector<ZOLMFileItemType>{ZOLMFileItemType::movies, ZOLMFileItemType::documents}));
  EXPECT_EQ(ZOLMPreferences().bigFilesSearchFileTypes().size(), 5u);
}

TEST(ZOLEvent, AUserEventHasItsEightKeysAndACleanEventItsThree) {
  const platform::Date date = platform::Date::fromTimeIntervalSince1970(1700000000.5);
  const ZOLEvent user = ZOLEvent::buttonClickedEvent(date, ZOLApplicationState(), "", "", "", "");
  EXPECT_EQ(user.eventType(), ZOLEventType::userEvent);
  EXPECT_EQ(user.date(), date);
  const platform::Value::Dictionary expected{
      {"date", platform::Value(std::string("2023-11-14 22:13:20 +0000"))},
      {"uuid", platform::Value(std::string())},
      {"app_state", platform::Value(std::string())},
      {"app_build_version", platform::Value(std::string("1.0.99"))},
      {"category", platform::Value(std::string())},
      {"action", platform::Value(std::string())},
      {"name", platform::Value(std::string())},
      {"value", platform::Value(std::string())},
  };
  EXPECT_EQ(user.backendJsonRepresentation(), expected);

  const ZOLEvent clean = ZOLEvent::cleanEvent("System", "userCache", "1,2 MB", date);
  EXPECT_EQ(clean.eventType(), ZOLEventType::cleanResults);
  const platform::Data data = clean.backendJsonRepresentationData();
  const std::string json(data.begin(), data.end());
  EXPECT_EQ(json, R"({"cleaned_size":"1,2 MB","module":"userCache","tab":"System"})");
}
