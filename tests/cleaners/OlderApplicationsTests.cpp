#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "cleaners/AppsSanitizer.h"
#include "sanitizers/ScanFixture.h"
#include "support/LogCapture.h"
#include "support/ScopedEnvironment.h"
#include "support/ScopedProcessUser.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

class OlderApplicationsTest : public ::testing::Test, public test::ScanFixture {
 protected:
  test::ScopedEnvironment resources{"VOZI_RESOURCES", root / "/Resources"};
  test::ScopedProcessUser asBob{"bob"};
  platform::DispatchWorkItem work;

  OlderApplicationsTest() {
    root.writeFile("/Resources/leftoversApps.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>Tool</key><array><string>~/Library/Application Support/ToolData</string>"
                   "<string>/Library/Preferences/com.tool.plist</string></array>"
                   "</dict></plist>\n");
    for (const auto& [name, identifier] : std::vector<std::pair<std::string, std::string>>{
             {"Tool", "com.example.tool"}, {"Notes", "com.example.notes"}, {"Safari", "com.apple.Safari"},
             {"Ab", "com.example.ab"}}) {
      tree.addApplication(name, identifier);
    }
    tree.addFile("/Users/bob/Library/Application Support/ToolData/state", 100)
        .addFile("/Library/Preferences/com.tool.plist", 10)
        .addFile("/Users/bob/Library/Preferences/Notes.plist", 20)
        .addFile("/Users/bob/Library/Application Support/NotesHelper/x", 30)
        .addFile("/Users/bob/Library/Preferences/Ab.plist", 40)
        .addFile("/Users/bob/Library/Application Support/ToolDataOld/y", 50);
  }
  std::string at(const std::string& treePath) const { return tree.host(treePath); }
  bool exists(const std::string& treePath) const { return fs::exists(fs::symlink_status(at(treePath))); }

  static std::map<std::string, std::set<std::string>> leftovers(const std::vector<std::shared_ptr<Application>>& found) {
    std::map<std::string, std::set<std::string>> byName;
    for (const auto& application : found) {
      auto& paths = byName[application->name.value_or("")];
      for (std::size_t i = 1; i < application->urls.size(); ++i) paths.insert(application->urls[i].path());
    }
    return byName;
  }
};

TEST_F(OlderApplicationsTest, ApplicationsAreListedWithTheLeftoversTheTableOrTheirNameClaims) {
  AppsSanitizer sanitizer("bob");
  const auto [bytes, found] = sanitizer.apps(work);
  EXPECT_EQ(leftovers(found), (std::map<std::string, std::set<std::string>>{
                                  {"Tool",
                                   {at("/Users/bob/Library/Application Support/ToolData"),
                                    at("/Users/bob/Library/Application Support/ToolData/state"),
                                    at("/Library/Preferences/com.tool.plist")}},
                                  {"Notes", {at("/Users/bob/Library/Preferences/Notes.plist")}},
                                  {"Ab", {}},
                              }));
  std::uint64_t sum = 0;
  for (const auto& application : found) sum += application->size;
  EXPECT_EQ(bytes, sum);
  // A second listing starts afresh.
  EXPECT_EQ(sanitizer.apps(work).first, bytes);
  platform::DispatchWorkItem cancelled;
  cancelled.cancel();
  EXPECT_TRUE(sanitizer.apps(cancelled).second.empty());
}

TEST_F(OlderApplicationsTest, AnUninstallRemovesTheBundleFirstAndItsLeftoversOnlyThen) {
  AppsSanitizer sanitizer("bob");
  const auto found = sanitizer.apps(work).second;
  std::vector<Application> kept;
  for (const auto& application : found) kept.push_back(*application);
  // An application whose bundle is not in the application folders.
  Application stray(at("/Users/bob/Elsewhere/Tool.app"), std::string("Stray"), std::nullopt, 5, std::nullopt,
                    std::nullopt);
  stray.urls = {stray.path, platform::URL::fileURLWithPath(at("/Users/bob/Library/Preferences/Notes.plist"))};
  kept.push_back(stray);
  tree.addFile("/Users/bob/Elsewhere/Tool.app/Contents/x", 5);

  test::LogCapture log;
  const auto [bytes, removed] = sanitizer.purge({{"Tool", 1}, {"Stray", 1}, {"Ghost", 1}}, kept, work);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed.front().name, std::optional<std::string>("Tool"));
  EXPECT_GT(bytes, 110u);
  EXPECT_FALSE(exists("/Applications/Tool.app"));
  EXPECT_FALSE(exists("/Users/bob/Library/Application Support/ToolData"));
  EXPECT_FALSE(exists("/Library/Preferences/com.tool.plist"));
  EXPECT_TRUE(exists("/Users/bob/Library/Application Support/ToolDataOld/y"));
  EXPECT_TRUE(exists("/Users/bob/Elsewhere/Tool.app/Contents/x"));
  EXPECT_TRUE(exists("/Users/bob/Library/Preferences/Notes.plist"));
  EXPECT_EQ(log.count("Application Ghost not found"), 1u);

  // To the Trash, as the preferences may say.
  ZOLMPreferences preferences;
  preferences.setShouldMoveDeletedToTrash(true);
  sanitizer.preferences = preferences;
  EXPECT_EQ(sanitizer.purge({{"Notes", 1}}, kept, work).second.size(), 1u);
  EXPECT_FALSE(exists("/Applications/Notes.app"));
  EXPECT_TRUE(exists("/Users/bob/.Trash/Notes.app"));
  EXPECT_TRUE(exists("/Users/bob/.Trash/Notes.plist"));
}

TEST_F(OlderApplicationsTest, TheApplicationRecord) {
  test::ApplicationBundle bundle;
  bundle.name = "Iconic";
  bundle.bundleIdentifier = "com.example.iconic";
  bundle.iconFile = "Iconic";
  tree.addApplication(bundle);
  const Application iconic(platform::URL::fileURLWithPath(at("/Applications/Iconic.app"), true));
  EXPECT_EQ(iconic.name, std::optional<std::string>("Iconic"));
  EXPECT_EQ(iconic.bundleId, "com.example.iconic");
  EXPECT_EQ(iconic.icon, std::optional<std::string>(at("/Applications/Iconic.app/Contents/Resources/Iconic.icns")));
  EXPECT_GT(iconic.size, 0u);
  EXPECT_EQ(iconic, Application(at("/Applications/Iconic.app"), std::nullopt, std::nullopt, 0, std::nullopt, std::nullopt));

  const Application stored(at("/Applications/Gone.app"), std::nullopt, std::nullopt, 7, std::nullopt, std::nullopt);
  EXPECT_EQ(stored.debugDescription(), "Name = nil, Size = 7, Files = 0");
  const auto dictionary = stored.asDictionary();
  EXPECT_EQ(*dictionary.at("sectionName").asString(), "");
  EXPECT_EQ(dictionary.at("timesLaunched").asInt64(), 0);
  EXPECT_LT(*dictionary.at("lastLaunchTimeStamp").asDouble(), -6e10);

  EXPECT_FALSE(AppsLeftoversSanitizer::make(""));
  const auto leftovers = AppsLeftoversSanitizer::make("bob");
  ASSERT_TRUE(leftovers);
  EXPECT_TRUE(leftovers->dirs().empty());
  EXPECT_EQ(leftovers->scan().first, 0u);
  EXPECT_EQ(AppsSanitizer::SystemApplicationsBundles().size(), 62u);
}

}  // namespace
}  // namespace vozi
