#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/FileItem.h"
#include "sanitizers/ApplicationsCleaningOperation.h"
#include "sanitizers/ApplicationsScanningOperation.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"
#include "support/ScopedEnvironment.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;
using test::FakeUserAgentLink;

constexpr const char* kLibrary = "/Users/bob/Library";

// Application name -> its leftovers (host path -> size).
using Listing = std::map<std::string, std::map<std::string, std::uint64_t>>;

test::ApplicationBundle bundleIn(const std::string& folder, const std::string& name, const std::string& identifier) {
  test::ApplicationBundle bundle;
  bundle.name = name;
  bundle.bundleIdentifier = identifier;
  bundle.folder = folder;
  return bundle;
}

Listing listingOf(const ItemGroup& group) {
  Listing listing;
  group.enumerateObjects([&listing](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    const auto* application = dynamic_cast<const ApplicationItem*>(item.get());
    if (!application) return;
    auto& leftovers = listing[application->name().value_or("?")];
    application->enumerateLeaves([&leftovers](const ModelItemPtr& leaf, bool&) {
      if (const auto* file = dynamic_cast<const FileItem*>(leaf.get())) leftovers[file->path()] = file->size();
    });
  });
  return listing;
}

class ApplicationsOperationTest : public ::testing::Test, public test::ScanFixture {
 protected:
  ApplicationsOperationTest() { root.makeDirectory("/Resources"); }

  std::shared_ptr<ApplicationsGroup> group =
      std::static_pointer_cast<ApplicationsGroup>(ItemGroup::group(ItemGroupName::applications));
  std::shared_ptr<FakeUserAgentLink> link =
      std::make_shared<FakeUserAgentLink>(caches(), tree.host(kLibrary));
  // The program's resources: the test writes "leftoversApps.plist" there.
  test::ScopedEnvironment resources{"VOZI_RESOURCES", root / "/Resources"};

  std::shared_ptr<ApplicationsGroup> scanned;
  bool cancelled = false;
  int completions = 0;

  void writeKnownLeftovers(const std::string& dictionaryBody) {
    root.writeFile("/Resources/leftoversApps.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>" + dictionaryBody +
                       "</dict>\n</plist>\n");
  }

  std::shared_ptr<ApplicationsScanningOperation> scan(std::shared_ptr<IUserAgentLink> agent,
                                                      BaseSanitizerOperation<ApplicationsGroup>::ProgressHandler progress = {}) {
    return std::make_shared<ApplicationsScanningOperation>(
        group,
        [this](const std::shared_ptr<ApplicationsGroup>& result, bool wasCancelled) {
          scanned = result;
          cancelled = wasCancelled;
          ++completions;
        },
        std::move(progress), std::move(agent));
  }

  std::string host(const std::string& treePath) const { return tree.host(treePath); }
};

TEST_F(ApplicationsOperationTest, ListsApplicationsWithTheLeftoversTheirIdentifiersClaim) {
  tree.addApplication("Alpha", "com.example.alpha")
      .addApplication("Alpha Pro", "com.example.alpha.pro")
      .addApplication(bundleIn("/Applications/Utilities", "Helper", "com.example.helper"))
      .addApplication("Broad", "com")
      .addApplication("Safari", "Com.Apple.SAFARI")
      .addApplication("Safari Beta", "com.apple.safari.beta")
      .addSymlink("/Applications/Linked.app", host("/Applications/Alpha.app"))
      .addFile("/Library/Preferences/com.example.alpha.plist", 10)
      .addFile("/Library/Preferences/com.example.alpha.pro.plist", 11)
      .addFile("/Library/Preferences/com.example.alphabet.plist", 12)
      .addFile("/Library/Preferences/xcom.example.alpha.plist", 13)
      .addFile("/Library/Preferences/com.example.alpha.empty", 0)
      .addFile("/Library/Preferences/com.other.plist", 14)
      .addFile(std::string(kLibrary) + "/Application Support/com.example.alpha/state.db", 15)
      .addFile(std::string(kLibrary) + "/Application Support/com.example.helper/deep/er/x", 16)
      .addFile("/Library/Caches/alpha-known", 17)
      .addFile("/Outside/com.example.alpha.plist", 18);
  // A leftover folder that is a link to elsewhere is not entered.
  fs::remove_all(host("/Library/LaunchAgents"));
  tree.addSymlink("/Library/LaunchAgents", host("/Outside"));
  writeKnownLeftovers(
      "<key>Alpha</key><array><string>/Library/Caches/alpha-known</string><string>/Nowhere/at/all</string>"
      "<string>~/relative</string></array>");

  run(scan(link));

  ASSERT_EQ(completions, 1);
  ASSERT_TRUE(scanned);
  EXPECT_FALSE(cancelled);
  const Listing expected = {
      {"Alpha",
       {{host("/Library/Preferences/com.example.alpha.plist"), 10},
        {host(std::string(kLibrary) + "/Application Support/com.example.alpha/state.db"), 15},
        {host("/Library/Caches/alpha-known"), 17},
        {host("/Nowhere/at/all"), 0}}},
      // Both identifiers claim the longer one's file: "Alpha Pro.app" comes
      // first in the folder, so in the group, and takes it.
      {"Alpha Pro", {{host("/Library/Preferences/com.example.alpha.pro.plist"), 11}}},
      {"Helper", {{host(std::string(kLibrary) + "/Application Support/com.example.helper/deep/er/x"), 16}}},
      {"Broad", {}},
      {"Safari Beta", {}},
  };
  EXPECT_EQ(listingOf(*scanned), expected);

  std::uint64_t total = 0;
  scanned->enumerateObjects([&total](const ModelItemPtr& item, const ModelItemKey&, bool&) { total += item->size(); });
  EXPECT_EQ(scanned->size(), total);
}

TEST_F(ApplicationsOperationTest, TheLeftoverFoldersAreTheMachinesThenTheUsersAndOnlyTheMachinesWithoutAnAgent) {
  const auto withAgent = scan(link)->leftoversURLs();
  ASSERT_EQ(withAgent.size(), 14u);
  EXPECT_EQ(withAgent[0], host("/Library/Application Support"));
  EXPECT_EQ(withAgent[1], host(std::string(kLibrary) + "/Application Support"));
  EXPECT_EQ(withAgent[13], host(std::string(kLibrary) + "/Saved Application State"));

  const auto withoutAgent = scan(std::make_shared<FakeUserAgentLink>())->leftoversURLs();
  ASSERT_EQ(withoutAgent.size(), 7u);
  for (const auto& folder : withoutAgent) EXPECT_EQ(folder.rfind(host("/Library/"), 0), 0u) << folder;
  EXPECT_EQ(scan(nullptr)->leftoversURLs(), withoutAgent);
}

TEST_F(ApplicationsOperationTest, ACancelledScanGivesNothingAndEmptiesTheGroup) {
  tree.addApplication("Alpha", "com.example.alpha").addFile("/Library/Preferences/com.example.alpha.plist", 10);
  std::shared_ptr<ApplicationsScanningOperation> operation;
  operation = scan(link, [&operation](std::uint64_t, std::uint64_t) { operation->cancel(); });
  run(operation);
  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(scanned);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(group->count(), 0u);
  operation.reset();
}

TEST_F(ApplicationsOperationTest, ProgressAddsUpToTheCountedEntries) {
  tree.addApplication("Alpha", "com.example.alpha")
      .addFile("/Library/Preferences/com.example.alpha.plist", 10)
      .addFile(std::string(kLibrary) + "/Preferences/a/b/c", 1);
  std::uint64_t duration = 0, progress = 0;
  run(scan(link, [&](std::uint64_t done, std::uint64_t total) {
    progress += done;
    duration = total;
  }));
  EXPECT_GT(duration, 0u);
  EXPECT_EQ(progress, duration);
}

// --- Cleaning ------------------------------------------------------------

class ApplicationsCleaningTest : public ApplicationsOperationTest {
 protected:
  std::shared_ptr<CleaningScope> scope = std::make_shared<CleaningScope>();
  std::vector<std::string> removedNames;
  std::uint64_t progressSum = 0;

  // Scans, then takes what the scan found as the clean's scope.
  void scanAndScope() {
    auto operation = scan(link);
    run(operation);
    ASSERT_TRUE(scanned);
    scope->roots = operation->scanningRoots();
    scanned->enumerateLeaves([this](const ModelItemPtr& leaf, bool&) {
      if (const auto* file = dynamic_cast<const FileItem*>(leaf.get())) scope->storedPaths.insert(file->path());
    });
    scanned->enumerateObjects([this](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      if (const auto* application = dynamic_cast<const ApplicationItem*>(item.get()))
        scope->storedPaths.insert(*application->path());
    });
    completions = 0;
  }
  // The handlers hear of the applications and of their leftovers.
  static std::optional<std::string> applicationName(const ModelItemPtr& item) {
    const auto* application = dynamic_cast<const ApplicationItem*>(item.get());
    return application ? application->name() : std::nullopt;
  }

  std::shared_ptr<ApplicationsCleaningOperation> clean(std::function<bool(const ModelItemPtr&)> shouldRemove = {}) {
    auto operation = std::make_shared<ApplicationsCleaningOperation>(
        group,
        [this](const std::shared_ptr<ApplicationsGroup>&, bool wasCancelled) {
          cancelled = wasCancelled;
          ++completions;
        },
        [this](std::uint64_t progress, std::uint64_t) { progressSum += progress; },
        SanitizerEnvironment{queue, link, scope});
    if (shouldRemove) operation->setShouldRemoveHandler(std::move(shouldRemove));
    operation->setDidRemoveHandler([this](const ModelItemPtr& item) {
      if (const auto name = applicationName(item)) removedNames.push_back(*name);
    });
    return operation;
  }
  std::set<std::string> names() const {
    std::set<std::string> found;
    for (const auto& [name, leftovers] : listingOf(*group)) found.insert(name);
    return found;
  }
};

TEST_F(ApplicationsCleaningTest, RemovesBundlesThenLeftoversAndKeepsWhatCouldNotGo) {
  tree.addApplication("Alpha", "com.example.alpha")
      .addFile("/Library/Preferences/com.example.alpha.plist", 10)
      .addApplication("Linked", "com.example.linked")
      .addFile("/Library/Preferences/com.example.linked.plist", 11)
      .addApplication("Gone", "com.example.gone")
      .addFile("/Library/Preferences/com.example.gone.plist", 12)
      .addApplication("Refused", "com.example.refused")
      .addFile("/Library/Preferences/com.example.refused.plist", 13)
      .addApplication("Unscoped", "com.example.unscoped")
      .addFile("/Library/Preferences/com.example.unscoped.plist", 14);
  tree.addApplication(bundleIn("/Elsewhere", "Linked", "com.example.linked"));
  scanAndScope();
  ASSERT_EQ(group->count(), 5u);

  // After the scan: one bundle swapped for a link to another, one deleted
  // by the user, one the scope does not hold.
  fs::remove_all(host("/Applications/Linked.app"));
  tree.addSymlink("/Applications/Linked.app", host("/Elsewhere/Linked.app"));
  fs::remove_all(host("/Applications/Gone.app"));
  scope->storedPaths.erase(host("/Applications/Unscoped.app"));

  run(clean([](const ModelItemPtr& item) { return applicationName(item) != std::optional<std::string>("Refused"); }));

  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(names(), (std::set<std::string>{"Alpha", "Gone"}));
  EXPECT_EQ(removedNames, (std::vector<std::string>{"Alpha", "Gone"}));
  for (const char* gone : {"/Applications/Alpha.app", "/Library/Preferences/com.example.alpha.plist",
                           "/Library/Preferences/com.example.gone.plist"})
    EXPECT_FALSE(fs::exists(fs::symlink_status(host(gone)))) << gone;
  for (const char* kept : {"/Applications/Linked.app", "/Elsewhere/Linked.app/Contents/Info.plist",
                           "/Library/Preferences/com.example.linked.plist", "/Applications/Refused.app",
                           "/Library/Preferences/com.example.refused.plist", "/Applications/Unscoped.app",
                           "/Library/Preferences/com.example.unscoped.plist"})
    EXPECT_TRUE(fs::exists(fs::symlink_status(host(kept)))) << kept;
  EXPECT_TRUE(fs::is_symlink(host("/Applications/Linked.app")));

  std::uint64_t total = 0;
  group->enumerateObjects([&total](const ModelItemPtr& item, const ModelItemKey&, bool&) { total += item->size(); });
  EXPECT_EQ(group->size(), total);
}

TEST_F(ApplicationsCleaningTest, AnEmptyGroupAndACancelledClean) {
  run(clean());
  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(group->count(), 0u);

  tree.addApplication("Alpha", "com.example.alpha").addApplication("Beta", "com.example.beta");
  scanAndScope();
  auto operation = clean();
  operation->cancel();
  // A cancelled operation does not run: its main() is what a cancel during
  // the run reaches, and it keeps every application on disk.
  operation->main();
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(group->count(), 0u);
  EXPECT_TRUE(fs::exists(host("/Applications/Alpha.app")));
  EXPECT_TRUE(fs::exists(host("/Applications/Beta.app")));
}

}  // namespace
}  // namespace vozi
