#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ipc/IPCErrors.h"
#include "ipc/IPCShared.h"
#include "ipc/RemoteMessageKey.h"
#include "ipc/RemoteMessageMethod.h"
#include "platform/ErrorValue.h"
#include "support/TempRoot.h"

using namespace vozi;
using platform::Error;
using platform::ErrorValue;
using platform::Value;

TEST(RemoteMessageMethod, RawValuesAreTheCaseNamesAndRoundTrip) {
  const char* expected[] = {"reportEvent",       "getPreferences",     "updatePreferences",
                            "preferences",       "getTrackingData",    "trackingData",
                            "backgroundScan",    "getBackgroundScanResults", "userLanguages",
                            "userEmail",         "backgroundScanResults", "getCleaningHistory",
                            "cleaningHistory",   "scan",               "cancelScan",
                            "scanResults",       "purge",              "cancelPurge",
                            "purgeResults",      "quit",               "shutdown"};
  ASSERT_EQ(std::size(expected), kAllRemoteMessageMethods.size());
  for (std::size_t i = 0; i < kAllRemoteMessageMethods.size(); ++i) {
    const auto method = kAllRemoteMessageMethods[i];
    EXPECT_EQ(rawValue(method), expected[i]);
    EXPECT_EQ(fromRawValue<RemoteMessageMethod>(rawValue(method)), method) << expected[i];
  }
}

TEST(RemoteMessageMethod, MatchesOnlyTheExactString) {
  EXPECT_EQ(fromRawValue<RemoteMessageMethod>("getTrackingData"), RemoteMessageMethod::getTrackingData);
  for (const char* wrong : {"GetTrackingData", "getTrackingData ", " getTrackingData", "gettrackingdata", "",
                            "getTracking"}) {
    EXPECT_FALSE(fromRawValue<RemoteMessageMethod>(wrong).has_value()) << '"' << wrong << '"';
  }
}

TEST(RemoteMessageKey, StringsAreThoseThePeerReads) {
  struct Case {
    const char* constant;
    const char* string;
  } cases[] = {
      {RemoteMessageKey::method, "method"},
      {RemoteMessageKey::parameters, "parameters"},
      {RemoteMessageKey::ScanResults::sectionName, "sectionName"},
      {RemoteMessageKey::ScanResults::sectionSize, "sectionSize"},
      {RemoteMessageKey::ScanResults::duplicates, "duplicates"},
      {RemoteMessageKey::ScanResults::lastOpen, "lastOpen"},
      {RemoteMessageKey::ScanResults::Application::timesLaunched, "timesLaunched"},
      {RemoteMessageKey::ScanResults::Application::lastLaunchTimeStamp, "lastLaunchTimeStamp"},
      {RemoteMessageKey::ScanResults::Application::iconPath, "iconPath"},
      {RemoteMessageKey::ScanResults::Duplicates::filePath, "filePath"},
      {RemoteMessageKey::ScanResults::Duplicates::fileSize, "fileSize"},
      {RemoteMessageKey::ScanResults::Duplicates::lastOpen, "lastOpen"},
      {RemoteMessageKey::ScanResults::BigFiles::filePath, "filePath"},
      {RemoteMessageKey::TrackingData::campaignID, "campaignID"},
      {RemoteMessageKey::TrackingData::campaignSource, "campaignSource"},
      {RemoteMessageKey::TrackingData::campaignMedium, "campaignMedium"},
      {RemoteMessageKey::TrackingData::campaignKeyword, "campaignKeyword"},
      {RemoteMessageKey::TrackingData::campaignContent, "campaignContent"},
      {RemoteMessageKey::TrackingData::googleAdWordsID, "GoogleAdWordsID"},
      {RemoteMessageKey::TrackingData::documentReferrer, "documentReferrer"},
      {RemoteMessageKey::TrackingData::clientID, "clientID"},
      {RemoteMessageKey::TrackingData::utmDevice, "utmDevice"},
      {RemoteMessageKey::TrackingData::utmMatchtype, "utmMatchtype"},
      {RemoteMessageKey::TrackingData::utmAdgroup, "utmAdgroup"},
      {RemoteMessageKey::CleanHistory::modules, "modules"},
      {RemoteMessageKey::CleanHistory::moduleName, "moduleName"},
      {RemoteMessageKey::CleanHistory::lastCleanedBytes, "lastCleanedBytes"},
      {RemoteMessageKey::CleanHistory::totalCleanedBytes, "totalCleanedBytes"},
      {RemoteMessageKey::CleanHistory::lastCleanedTimestamp, "lastCleanedTimestamp"},
      {RemoteMessageKey::CleanHistory::lastCompleteCleanTimestamp, "lastCompleteCleanTimestamp"},
      {RemoteMessageKey::Event::category, "category"},
      {RemoteMessageKey::Event::action, "action"},
      {RemoteMessageKey::Event::name, "name"},
      {RemoteMessageKey::Event::value, "value"},
      {RemoteMessageKey::UserEmail::email, "email"},
      {RemoteMessageKey::Error::code, "code"},
      {RemoteMessageKey::Error::domain, "domain"},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(c.constant), c.string);
}

TEST(IPCShared, SocketPathLiesInTheProductFolderUnderTheHostRoot) {
  test::TempRoot root;
  const std::string path = UnixSocketIPCServerConstant::Path();
  EXPECT_EQ(path, root.path() + "/Library/Application Support/div.ez.iru/div.ez.iru.socket");
  EXPECT_TRUE(path.ends_with("/div.ez.iru/div.ez.iru.socket"));
  EXPECT_EQ(UnixSocketIPCServerConstant::Path(), path);
}

TEST(IPCShared, ScanSubGroupNamesAreExactDisplayNames) {
  using IPCShared::ScanSubGroupName;
  const char* expected[] = {"System cache files",
                            "System log files",
                            "User cache files",
                            "User log files",
                            "Development junk",
                            "MacOS localizations",
                            "Applications localizations",
                            "MailAttachments",
                            "Photos cache and recently deleted",
                            "Trash Bin",
                            "Temporary files",
                            "Deleted application leftovers",
                            "Memory",
                            "Shredder",
                            "Applications",
                            "Duplicates",
                            "BigFiles"};
  ASSERT_EQ(std::size(expected), IPCShared::kAllScanSubGroupNames.size());
  for (std::size_t i = 0; i < IPCShared::kAllScanSubGroupNames.size(); ++i) {
    const auto name = IPCShared::kAllScanSubGroupNames[i];
    EXPECT_EQ(rawValue(name), expected[i]);
    EXPECT_EQ(fromRawValue<ScanSubGroupName>(rawValue(name)), name) << expected[i];
  }
  EXPECT_EQ(fromRawValue<ScanSubGroupName>("Trash Bin"), ScanSubGroupName::trashBin);
  for (const char* wrong : {"Trash bin", "TrashBin", "trashBin", "Big Files", "Mail Attachments",
                            "macOS localizations"}) {
    EXPECT_FALSE(fromRawValue<ScanSubGroupName>(wrong).has_value()) << wrong;
  }
}

TEST(IPCErrors, DomainsAndCodes) {
  EXPECT_EQ(std::string(ApplicationStateErrorDomain), "ApplicationStateError");
  EXPECT_EQ(std::string(UserEmailSetErrorDomain), "UserEmailSetErrorDomain");
  EXPECT_EQ(fromRawValue<ApplicationStateErrorCode>(0L), ApplicationStateErrorCode::unknown);
  EXPECT_EQ(fromRawValue<ApplicationStateErrorCode>(1L), ApplicationStateErrorCode::connection);
  EXPECT_EQ(fromRawValue<UserEmailSetErrorCode>(0L), UserEmailSetErrorCode::unknown);
  EXPECT_EQ(fromRawValue<UserEmailSetErrorCode>(1L), UserEmailSetErrorCode::connection);
  for (long wrong : {2L, -1L}) {
    EXPECT_FALSE(fromRawValue<ApplicationStateErrorCode>(wrong).has_value()) << wrong;
    EXPECT_FALSE(fromRawValue<UserEmailSetErrorCode>(wrong).has_value()) << wrong;
  }
  EXPECT_EQ(rawValue(ApplicationStateErrorCode::connection), 1);
  EXPECT_EQ(rawValue(UserEmailSetErrorCode::unknown), 0);
}

TEST(IPCErrors, RepresentationCarriesOnlyCodeDomainAndUnderlyingChain) {
  // No user information: exactly two entries.
  EXPECT_EQ(ipcRepresentations(Error(UserEmailSetErrorDomain, 1)),
            (Value::Dictionary{{"code", Value(1)}, {"domain", Value("UserEmailSetErrorDomain")}}));

  // Two levels of underlying errors become two nested dictionaries; the
  // description and other entries stay behind.
  const Error innermost("NSPOSIXErrorDomain", 2, {{"NSLocalizedDescription", Value("gone")}});
  const Error middle = ErrorValue::withUnderlyingError(Error("der.ezo.oss.Socket.ErrorDomain", -9996), innermost);
  Error top = ErrorValue::withUnderlyingError(Error(ApplicationStateErrorDomain, 1), middle);
  top.userInfo["NSLocalizedDescription"] = Value("no connection");
  const Value::Dictionary expected{
      {"code", Value(1)},
      {"domain", Value("ApplicationStateError")},
      {"NSUnderlyingError",
       Value(Value::Dictionary{{"code", Value(-9996)},
                               {"domain", Value("der.ezo.oss.Socket.ErrorDomain")},
                               {"NSUnderlyingError", Value(Value::Dictionary{
                                                            {"code", Value(2)},
                                                            {"domain", Value("NSPOSIXErrorDomain")}})}})}};
  EXPECT_EQ(ipcRepresentations(top), expected);

  // Something under the key that is not an error is left out.
  for (const Value& notAnError :
       {Value("just text"), Value(Value::Dictionary{{"code", Value(1)}, {"domain", Value("d")}}), Value(7)}) {
    const Error odd("d", 3, {{"NSUnderlyingError", notAnError}});
    EXPECT_EQ(ipcRepresentations(odd), (Value::Dictionary{{"code", Value(3)}, {"domain", Value("d")}}));
  }
}
