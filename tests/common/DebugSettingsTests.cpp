#include "common/DebugSettings.h"

#include <gtest/gtest.h>

#include <string>

#include "common/DebugSettingsProvider.h"
#include "support/LogCapture.h"
#include "common/ZOLDefaultDebugSettingsProvider.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

const std::string kSettingsFile = "/Library/Application Support/div.ez.iru/DebugSettings.plist";
constexpr const char* kReadError = "can not read data from debug settings file due to error:";

std::string plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">" +
         body + "</plist>\n";
}

const std::string kOverrides = plist(
    "<dict>"
    "<key>backgroundScanInitiator</key><dict><key>backgroundScanTimerInterval</key><integer>60</integer></dict>"
    "<key>notificationCenter</key><dict>"
    "<key>DefaultToleranceInterval</key><real>1.5</real>"
    "<key>FullModeBackgroundScanNotificationsInterval</key><string>10</string>"
    "</dict>"
    "</dict>");

class DebugSettingsTest : public ::testing::Test {
 protected:
  void TearDown() override { DebugSettingsProvider::setDefaultProvider(nullptr); }
  test::TempRoot root;
  test::LogCapture log;
};

TEST_F(DebugSettingsTest, BuiltInValuesHoldWithNoProviderWhateverTheFileSays) {
  root.writeFile(kSettingsFile, kOverrides);
  ASSERT_EQ(DebugSettingsProvider::defaultProvider(), nullptr);
  EXPECT_EQ(DebugSettings::backgroundScanTimerInterval(), 36000);
  EXPECT_EQ(DebugSettings::fullModeBackgroundScanNotificationsInterval(), 604800);
  EXPECT_EQ(DebugSettings::defaultToleranceInterval(), 3600);

  // The plain provider has no settings either.
  DebugSettingsProvider::setDefaultProvider(std::make_shared<DebugSettingsProvider>());
  EXPECT_EQ(DebugSettings::backgroundScanTimerInterval(), 36000);
  EXPECT_TRUE(log.linesContaining(kReadError).empty());
}

TEST_F(DebugSettingsTest, AnInstalledProviderReadsTheFileOnceAndTakesOnlyNumbers) {
  const std::string file = root.writeFile(kSettingsFile, kOverrides);
  DebugSettingsProvider::setDefaultProvider(std::make_shared<ZOLDefaultDebugSettingsProvider>());
  EXPECT_EQ(DebugSettings::backgroundScanTimerInterval(), 60);
  EXPECT_EQ(DebugSettings::defaultToleranceInterval(), 1.5);
  // A number written as text is not a number.
  EXPECT_EQ(DebugSettings::fullModeBackgroundScanNotificationsInterval(), 604800);
  EXPECT_EQ(DebugSettings::seconds("notificationCenter", "missing", 7), 7);
  EXPECT_EQ(DebugSettings::seconds("missingDomain", "backgroundScanTimerInterval", 8), 8);

  // Later edits are not seen by the same provider.
  root.writeFile(kSettingsFile, plist("<dict/>"));
  EXPECT_EQ(DebugSettings::backgroundScanTimerInterval(), 60);
}

TEST_F(DebugSettingsTest, AMissingFileIsLoggedOnceAndGivesTheBuiltInValues) {
  DebugSettingsProvider::setDefaultProvider(std::make_shared<ZOLDefaultDebugSettingsProvider>());
  EXPECT_EQ(DebugSettings::backgroundScanTimerInterval(), 36000);
  EXPECT_EQ(DebugSettings::defaultToleranceInterval(), 3600);
  EXPECT_EQ(DebugSettingsProvider::defaultProvider()->settingsForDomain("notificationCenter"), std::nullopt);
  const auto lines = log.linesContaining(kReadError);
  ASSERT_EQ(lines.size(), 1u);
}

TEST_F(DebugSettingsTest, WronglyShapedFilesGiveNoSettingsWithoutALogLine) {
  struct Case {
    std::string name;
    std::string contents;
    std::string domain;
  };
  const Case cases[] = {
      {"domain is an array",
       plist("<dict><key>backgroundScanInitiator</key><array><integer>1</integer></array></dict>"),
       "backgroundScanInitiator"},
      {"root is an array", plist("<array><dict/></array>"), "backgroundScanInitiator"},
      {"root is text", plist("<string>x</string>"), "backgroundScanInitiator"},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    root.writeFile(kSettingsFile, testCase.contents);
    auto provider = std::make_shared<ZOLDefaultDebugSettingsProvider>();
    DebugSettingsProvider::setDefaultProvider(provider);
    EXPECT_EQ(provider->settingsForDomain(testCase.domain), std::nullopt);
    EXPECT_EQ(DebugSettings::backgroundScanTimerInterval(), 36000);
  }
  EXPECT_TRUE(log.linesContaining(kReadError).empty());
}

TEST_F(DebugSettingsTest, ACorruptFileIsLoggedAndIgnored) {
  root.writeFile(kSettingsFile, "<plist><dict><key>unterminated");
  DebugSettingsProvider::setDefaultProvider(std::make_shared<ZOLDefaultDebugSettingsProvider>());
  EXPECT_EQ(DebugSettings::backgroundScanTimerInterval(), 36000);
  EXPECT_EQ(log.linesContaining(kReadError).size(), 1u);
}

}  // namespace
}  // namespace vozi
