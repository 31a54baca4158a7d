#include "common/UserDefaultsMigration.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/BashCommand.h"
#include "support/LogCapture.h"
#include "platform/PropertyList.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;
using platform::Value;

constexpr const char* kPreferences = "/var/root/Library/Preferences";
constexpr const char* kReceiverDomain = "div.ez.iru";
constexpr const char* kOldSuite = "com.old.suite";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class UserDefaultsMigrationTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  test::LogCapture log;
  std::string preferences = root.makeDirectory(kPreferences);
  std::string oldSuiteFile = preferences + "/" + kOldSuite + ".plist";
  std::string receiverFile = preferences + "/" + kReceiverDomain + ".plist";
  std::string calls = root / "/defaults-calls";
  std::string receiverAtDelete = root / "/receiver-at-delete";

  // A stand-in for the "defaults" tool: records its arguments, keeps a copy
  // of the receiver's file as it is when the delete runs, and deletes the
  // suite's file as the real tool deletes the domain.
  void installDefaultsTool(const std::string& extra = "") {
    const std::string path = root.writeFile(
        std::string(executablePath(BashCommand::defaults)),
        "#!/bin/sh\n"
        "printf '%s\\n' \"$@\" >> '" + calls + "'\n"
        "cp '" + receiverFile + "' '" + receiverAtDelete + "' 2>/dev/null\n"
        "[ \"$1\" = delete ] && rm -f '" + preferences + "/'\"$2\".plist\n" + extra + "\n");
    fs::permissions(path, fs::perms::owner_all);
  }

  void writeOldSuite(const Value::Dictionary& settings) {
    ASSERT_TRUE(platform::PropertyList::writeFile(oldSuiteFile, Value(settings)));
  }
};

TEST_F(UserDefaultsMigrationTest, SettingsAreKeptOnDiskBeforeTheOldSuiteIsDeleted) {
  installDefaultsTool();
  writeOldSuite({{"interval", Value(60)}, {"email", Value("a@b.c")}, {"list", Value(Value::Array{Value(1)})}});
  {
    platform::UserDefaults receiver(kReceiverDomain, preferences);
    receiver.set(Value("mine@b.c"), "email");  // the receiver's own value wins
    ASSERT_TRUE(receiver.synchronize());

    UserDefaultsMigration::migrateSuitName(receiver, kOldSuite);
    EXPECT_EQ(receiver.object("interval"), Value(60));
    EXPECT_EQ(receiver.object("email"), Value("mine@b.c"));
  }
  EXPECT_EQ(readFile(calls), std::string("delete\n") + kOldSuite + "\n");
  EXPECT_FALSE(fs::exists(oldSuiteFile));

  // When the delete ran, the receiver's file already held the settings.
  auto atDelete = platform::PropertyList::readFile(receiverAtDelete);
  ASSERT_TRUE(atDelete);
  EXPECT_EQ(*atDelete->find("interval"), Value(60));
  // And they outlive the process.
  platform::UserDefaults restarted(kReceiverDomain, preferences);
  EXPECT_EQ(restarted.object("interval"), Value(60));
  EXPECT_EQ(restarted.object("list"), Value(Value::Array{Value(1)}));
  EXPECT_EQ(restarted.object("email"), Value("mine@b.c"));

  const auto lines = log.linesContaining("migrated settings: ");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("interval = 60;"), std::string::npos);
}

TEST_F(UserDefaultsMigrationTest, ASuiteWithoutSettingsIsStillDeleted) {
  installDefaultsTool();
  platform::UserDefaults receiver(kReceiverDomain, preferences);
  UserDefaultsMigration::migrateSuitName(receiver, kOldSuite);
  EXPECT_EQ(log.linesContaining("no settings to migrate").size(), 1u);
  EXPECT_EQ(readFile(calls), std::string("delete\n") + kOldSuite + "\n");
  EXPECT_FALSE(fs::exists(receiverFile));
}

TEST_F(UserDefaultsMigrationTest, WhenTheSettingsCannotBeKeptTheOldSuiteStays) {
  installDefaultsTool();
  writeOldSuite({{"interval", Value(60)}});
  fs::create_directories(receiverFile);  // the receiver's file cannot be written
  platform::UserDefaults receiver(kReceiverDomain, preferences);
  UserDefaultsMigration::migrateSuitName(receiver, kOldSuite);
  EXPECT_FALSE(fs::exists(calls));
  EXPECT_TRUE(fs::exists(oldSuiteFile));
  EXPECT_EQ(log.linesContaining("can not keep migrated settings").size(), 1u);
  EXPECT_TRUE(log.linesContaining("migrated settings: {").empty());
}

TEST_F(UserDefaultsMigrationTest, ASuiteThatCannotBeReadIsNotDeleted) {
  installDefaultsTool();
  root.writeFile(std::string(kPreferences) + "/" + kOldSuite + ".plist", "corrupt");
  platform::UserDefaults receiver(kReceiverDomain, preferences);
  UserDefaultsMigration::migrateSuitName(receiver, kOldSuite);
  EXPECT_FALSE(fs::exists(calls));
  EXPECT_EQ(readFile(oldSuiteFile), "corrupt");
}

TEST_F(UserDefaultsMigrationTest, SuitesThatCannotBeOpenedEndQuietly) {
  installDefaultsTool();
  writeOldSuite({{"interval", Value(60)}});
  platform::UserDefaults receiver(kReceiverDomain, preferences);
  receiver.set(Value(1), "own");
  ASSERT_TRUE(receiver.synchronize());
  for (const std::string& name : std::vector<std::string>{"", ".", "..", "../x", "-rf", "NSGlobalDomain",
                                                          std::string("a\0b", 3), std::string(300, 'a')}) {
    SCOPED_TRACE(name);
    UserDefaultsMigration::migrateSuitName(receiver, name);
  }
  EXPECT_TRUE(log.lines().empty());
  // Migrating a domain into itself would delete its own settings.
  UserDefaultsMigration::migrateSuitName(receiver, kReceiverDomain);
  EXPECT_FALSE(fs::exists(calls));
  EXPECT_EQ(platform::UserDefaults(kReceiverDomain, preferences).object("own"), Value(1));
}

TEST_F(UserDefaultsMigrationTest, TheToolsErrorTextIsLogged) {
  installDefaultsTool("echo 'Domain (com.old.suite) not found.' >&2");
  platform::UserDefaults receiver(kReceiverDomain, preferences);
  UserDefaultsMigration::migrateSuitName(receiver, kOldSuite);
  EXPECT_EQ(log.linesContaining("Domain (com.old.suite) not found.").size(), 1u);
}

TEST_F(UserDefaultsMigrationTest, AMissingToolIsLoggedAndTheSettingsAreKept) {
  writeOldSuite({{"interval", Value(60)}});
  platform::UserDefaults receiver(kReceiverDomain, preferences);
  UserDefaultsMigration::migrateSuitName(receiver, kOldSuite);
  EXPECT_EQ(log.linesContaining("could not launch").size(), 1u);
  EXPECT_EQ(platform::UserDefaults(kReceiverDomain, preferences).object("interval"), Value(60));
  EXPECT_TRUE(fs::exists(oldSuiteFile));
}

TEST(UserDefaultsMigrationDescriptionTest, RendersSettingsOnOneLine) {
  const Value settings(Value::Dictionary{{"a", Value(1)},
                                         {"b key", Value("x \"y\"")},
                                         {"c", Value(Value::Array{Value(true), Value(2.5)})},
                                         {"d", Value(Value::Dictionary{{"e", Value("f")}})}});
  EXPECT_EQ(UserDefaultsMigration::description(settings), "{a = 1; \"b key\" = \"x \\\"y\\\"\"; c = (1, 2.5); d = {e = f;};}");
}

}  // namespace
}  // namespace vozi
