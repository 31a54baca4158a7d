#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/PropertyList.h"
#include "support/ScopedProcessUser.h"
#include "support/TempRoot.h"

namespace vozi::platform {
namespace {

namespace fs = std::filesystem;

TEST(UserDefaultsTest, PersistentValuesWinOverRegisteredOnesAndReachTheFileOnSynchronize) {
  test::TempRoot root;
  const std::string folder = root / "/Users/bob/Library/Preferences";  // made by the first write
  {
    UserDefaults defaults("com.example.app", folder);
    defaults.registerDefaults({{"a", Value(1)}, {"b", Value(2)}});
    defaults.set(Value(10), "a");
    EXPECT_EQ(defaults.object("a"), Value(10));
    EXPECT_EQ(defaults.object("b"), Value(2));
    EXPECT_EQ(defaults.object("c"), std::nullopt);
    EXPECT_EQ(defaults.persistentDomain(), (Value::Dictionary{{"a", Value(10)}}));
    EXPECT_EQ(defaults.dictionaryRepresentation(), (Value::Dictionary{{"a", Value(10)}, {"b", Value(2)}}));
    EXPECT_FALSE(fs::exists(defaults.filePath()));
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(defaults.filePath(), folder + "/com.example.app.plist");
  }
  UserDefaults reopened("com.example.app", folder);
  EXPECT_EQ(reopened.object("a"), Value(10));
  EXPECT_EQ(reopened.object("b"), std::nullopt);  // registrations are not stored
  reopened.removeObject("a");
  ASSERT_TRUE(reopened.synchronize());
  EXPECT_EQ(UserDefaults("com.example.app", folder).persistentDomain(), Value::Dictionary{});
}

TEST(UserDefaultsTest, AnUnreadableDomainStartsEmptyAndSaysWhy) {
  test::TempRoot root;
  const std::string folder = root.makeDirectory("/var/root/Library/Preferences");
  root.writeFile("/var/root/Library/Preferences/bad.plist", "not a property list");
  UserDefaults bad("bad", folder);
  EXPECT_TRUE(bad.loadError());
  EXPECT_TRUE(bad.persistentDomain().empty());
  EXPECT_FALSE(UserDefaults("missing", folder).loadError());
  ASSERT_TRUE(PropertyList::writeFile(folder + "/array.plist", Value(Value::Array{})));
  EXPECT_TRUE(UserDefaults("array", folder).loadError());
}

TEST(UserDefaultsTest, SuitesLiveInTheProcessUsersPreferencesAndNeedAUsableName) {
  test::TempRoot root;
  test::ScopedProcessUser user("root");
  const auto suite = UserDefaults::suite("com.example.suite");
  ASSERT_TRUE(suite);
  EXPECT_EQ(suite->filePath(), root / "/var/root/Library/Preferences/com.example.suite.plist");
  for (const std::string& name : std::vector<std::string>{"", ".", "..", "a/b", "-x", "NSGlobalDomain",
                                                          std::string("a\0b", 3), std::string(201, 'a')}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(UserDefaults::suite(name), nullptr);
  }
}

}  // namespace
}  // namespace vozi::platform
