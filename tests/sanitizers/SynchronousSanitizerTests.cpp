#include <gtest/gtest.h>

#include <filesystem>

#include "sanitizers/FolderSanitizers.h"
#include "sanitizers/ScanFixture.h"
#include "support/LogCapture.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

// Says no to one path and remembers what it was told.
class Delegate : public SanitizerDelegate {
 public:
  explicit Delegate(std::string refused) : refused_(std::move(refused)) {}
  bool shouldRemove(Sanitizer&, const GeneralItemImp& item) override { return item.url().path() != refused_; }
  void didRemove(Sanitizer&, const GeneralItemImp& item) override {
    removed.emplace_back(item.url().path(), item.size());
  }
  std::vector<std::pair<std::string, std::uint64_t>> removed;

 private:
  std::string refused_;
};

class SynchronousSanitizerTest : public ::testing::Test, public test::ScanFixture {
 protected:
  std::string at(const std::string& treePath) const { return tree.host(treePath); }
  bool exists(const std::string& treePath) const { return fs::exists(fs::symlink_status(at(treePath))); }
};

TEST_F(SynchronousSanitizerTest, ScansMeasureTheDeletableFilesOfEachFolder) {
  tree.addFile("/Users/bob/A/one", 10)
      .addFile("/Users/bob/A/.hidden", 5)
      .addFile("/Users/bob/A/sub/two", 20)
      .addFile("/Users/bob/A/Thing.app/Contents/x", 7)
      .addFile("/Users/bob/Empty/zero", 0)
      .addDirectory("/Users/bob/Empty/sub")
      .addFile("/Users/bob/Outside/secret", 1000)
      .addSymlink("/Users/bob/A/link", at("/Users/bob/Outside"))
      .addSymlink("/Users/bob/Linked", at("/Users/bob/Outside"));
  struct Case {
    const char* name;
    std::vector<std::string> dirs;
    Sanitizer::ScanResult expected;
  };
  const auto link = [&] { return fs::read_symlink(at("/Users/bob/A/link")).string().size(); };
  const std::uint64_t a = 10 + 5 + 20 + 7 + link();
  const std::vector<Case> cases = {
      {"no folder", {}, {0, {}}},
      {"a folder, a missing one and an empty one",
       {at("/Users/bob/A"), at("/Users/bob/Missing"), at("/Users/bob/Empty")},
       {a, {{at("/Users/bob/A"), a}}}},
      {"the same folder twice", {at("/Users/bob/A"), at("/Users/bob/A")}, {2 * a, {{at("/Users/bob/A"), a}}}},
      {"a link to a folder is not walked", {at("/Users/bob/Linked")}, {0, {}}},
  };
  for (const Case& c : cases) {
    test::LogCapture log;
    Sanitizer sanitizer(c.dirs);
    EXPECT_EQ(sanitizer.scan(), c.expected) << c.name;
    if (std::string(c.name).starts_with("a folder")) {
      EXPECT_EQ(log.count("DIR: " + at("/Users/bob/Empty") + " is empty"), 1u);
    }
  }
}

TEST_F(SynchronousSanitizerTest, PurgesEmptyOnlyTheScannedFoldersTheySelect) {
  tree.addFile("/Users/bob/A/.hidden", 5)
      .addFile("/Users/bob/A/sub/deep/two", 20)
      .addFile("/Users/bob/B/three", 30)
      .addFile("/Users/bob/C/four", 40)
      .addFile("/Users/bob/NotMine/five", 50)
      .addFile("/Users/bob/Outside/secret", 1000)
      .addSymlink("/Users/bob/A/link", at("/Users/bob/Outside"))
      .addSymlink("/Users/bob/Linked", at("/Users/bob/Outside"));
  const std::string a = at("/Users/bob/A"), b = at("/Users/bob/B"), c = at("/Users/bob/C"),
                    linked = at("/Users/bob/Linked"), notMine = at("/Users/bob/NotMine");
  Sanitizer sanitizer(std::vector<std::string>{a, b, c, linked});
  auto delegate = std::make_shared<Delegate>(c);
  sanitizer.delegate = delegate;
  platform::DispatchWorkItem work;
  const Sanitizer::Sizes found = {{a, 1}, {c, 1}, {linked, 1}, {notMine, 1}};

  // Not the kept result's (B), not this sanitizer's (NotMine), refused by
  // the delegate (C), a link (Linked): all stay.
  const auto [total, removed] =
      sanitizer.purge({{a, 99}, {b, 99}, {c, 99}, {linked, 99}, {notMine, 99}}, found, work);
  // The bytes of the regular files that went (the link inside A is removed
  // as itself).
  EXPECT_EQ(total, 25u);
  EXPECT_EQ(removed, (Sanitizer::Sizes{{a, 25}, {linked, 0}}));
  EXPECT_TRUE(exists("/Users/bob/A"));
  EXPECT_FALSE(exists("/Users/bob/A/.hidden"));
  EXPECT_FALSE(exists("/Users/bob/A/sub"));
  EXPECT_TRUE(exists("/Users/bob/B/three"));
  EXPECT_TRUE(exists("/Users/bob/C/four"));
  EXPECT_TRUE(exists("/Users/bob/NotMine/five"));
  EXPECT_TRUE(exists("/Users/bob/Outside/secret"));
  EXPECT_EQ(delegate->removed, (std::vector<std::pair<std::string, std::uint64_t>>{{a, 25}, {linked, 0}}));

  // No kept result, or a cancelled work item: nothing.
  EXPECT_EQ(sanitizer.purge({{b, 1}}, std::nullopt, work), (std::pair<std::uint64_t, Sanitizer::Sizes>{}));
  platform::DispatchWorkItem cancelled;
  cancelled.cancel();
  EXPECT_EQ(sanitizer.purge({{b, 1}}, Sanitizer::Sizes{{b, 1}}, cancelled),
            (std::pair<std::uint64_t, Sanitizer::Sizes>{}));
  EXPECT_TRUE(exists("/Users/bob/B/three"));
  // A missing folder gives 0; the details purge empties each folder named.
  EXPECT_EQ(sanitizer.purge(at("/Users/bob/Missing")), 0u);
  EXPECT_EQ(sanitizer.purge(Sanitizer::Sizes{{b, 1}, {c, 1}}), 70u);
  EXPECT_EQ(sanitizer.purge(), 0u);
}

TEST_F(SynchronousSanitizerTest, TheHooksOfTheBaseFindNothingAndTheFolderKindsTheirFolders) {
  Sanitizer sanitizer(std::vector<std::string>{});
  platform::DispatchWorkItem work;
  EXPECT_EQ(sanitizer.dups(work).first, 0u);
  EXPECT_TRUE(sanitizer.apps(work).second.empty());
  EXPECT_TRUE(sanitizer.langs(work, {"de"}).second.empty());
  EXPECT_TRUE(sanitizer.mailAttachments(work).second.empty());

  EXPECT_FALSE(TempFilesSanitizer::make(""));
  EXPECT_FALSE(UserLogsSanitizer::make(""));
  EXPECT_FALSE(UserCacheSanitizer::make(""));
  EXPECT_FALSE(PhotosCacheSanitizer::make(""));
  const auto temporary = TempFilesSanitizer::make("bob");
  ASSERT_TRUE(temporary);
  EXPECT_EQ(temporary->dirs(), (std::vector<std::string>{at("/Users/bob/tmp"), at("/private/tmp")}));
  EXPECT_EQ(SystemLogsSanitizer().dirs(), (std::vector<std::string>{at("/var/log"), at("/Library/logs")}));
  EXPECT_EQ(SystemCacheSanitizer().dirs(), std::vector<std::string>{at("/Library/Caches")});
  const auto logs = UserLogsSanitizer::make("bob");
  ASSERT_TRUE(logs);
  EXPECT_EQ(logs->dirs().back(), at("/Users/bob/Library/Logs"));
}

}  // namespace
}  // namespace vozi
