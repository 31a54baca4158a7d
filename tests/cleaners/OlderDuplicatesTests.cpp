#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "cleaners/DuplicateSanitizer.h"
#include "cleaners/DuplicatesScanningOperation.h"
#include "common/DuplicateItem.h"
#include "common/IFileItem.h"
#include "sanitizers/AdditionalUpdates.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"
#include "support/LogCapture.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

class OlderDuplicatesTest : public ::testing::Test, public test::ScanFixture {
 protected:
  platform::DispatchWorkItem work;
  std::string at(const std::string& treePath) const { return tree.host(treePath); }
  bool exists(const std::string& treePath) const { return fs::exists(fs::symlink_status(at(treePath))); }

  OlderDuplicatesTest() {
    const std::string same = "same words";
    tree.addFile("/Users/bob/Documents/a.txt", same)
        .addFile("/Users/bob/Downloads/a copy.txt", same)
        .addFile("/Users/bob/z.txt", same)
        .addFile("/Users/bob/Library/x.txt", same)
        .addFile("/Users/bob/.hidden/y.txt", same)
        .addFile("/Users/bob/Skip/s.txt", same)
        .addFile("/Users/bob/Documents/other.txt", "same wordz")
        .addFile("/Users/bob/Documents/empty1", "")
        .addFile("/Users/bob/Documents/empty2", "")
        .addSymlink("/Users/bob/Documents/link.txt", at("/Users/bob/Documents/a.txt"))
        .addFile("/Users/bob/Pictures/P.photoslibrary/Masters/2020/m.jpg", "photo bytes")
        .addFile("/Users/bob/Pictures/P.photoslibrary/Previews/m.jpg", "photo bytes")
        .addFile("/Users/bob/Pictures/P.photoslibrary/database/m.jpg", "photo bytes")
        .addFile("/Users/bob/Pictures/copy.jpg", "photo bytes")
        .addFile("/Users/bob/Movies/a.mov", "film")
        .addFile("/Users/bob/Movies/b.mov", "film");
  }

  std::unique_ptr<DuplicateSanitizer> sanitizer() {
    auto made = std::make_unique<DuplicateSanitizer>(std::vector<std::string>{at("/Users/bob")});
    ZOLMPreferences preferences;
    preferences.setExcludeFromDuplicatesSearch({"skip"});
    made->preferences = preferences;
    return made;
  }
  static std::set<std::set<std::string>> setsOf(const std::vector<ModelDuplicate>& sets, const std::string& base) {
    std::set<std::set<std::string>> out;
    for (const ModelDuplicate& set : sets) {
      std::set<std::string> members;
      for (const ModelFile& file : set.dups()) members.insert(file.fileURL().path().substr(base.size()));
      out.insert(members);
    }
    return out;
  }
};

TEST_F(OlderDuplicatesTest, FindsTheSetsOfEqualFilesOutsideLibrariesAndHiddenFolders) {
  EXPECT_EQ(DuplicateSanitizer(std::vector<std::string>{}).scan(), (Sanitizer::ScanResult{}));
  auto finder = sanitizer();
  const auto [bytes, sets] = finder->findDuplicates(work);
  EXPECT_EQ(setsOf(sets, at("/Users/bob")),
            (std::set<std::set<std::string>>{
                {"/Documents/a.txt", "/Downloads/a copy.txt", "/z.txt"},
                {"/Pictures/P.photoslibrary/Masters/2020/m.jpg", "/Pictures/P.photoslibrary/Previews/m.jpg",
                 "/Pictures/copy.jpg"},
                {"/Movies/a.mov", "/Movies/b.mov"},
            }));
  EXPECT_EQ(bytes, 3u * 10 + 3u * 11 + 2u * 4);
  EXPECT_EQ(finder->dups(work).second.size(), 3u);
  platform::DispatchWorkItem cancelled;
  cancelled.cancel();
  EXPECT_TRUE(finder->findDuplicates(cancelled).second.empty());
}

// On a plain tree the older finder and the operations' scan agree.
TEST_F(OlderDuplicatesTest, TheOlderFinderFindsTheScansSets) {
  for (int set = 0; set < 6; ++set) {
    const std::string content(100 + set * 37, static_cast<char>('a' + set));
    for (int copy = 0; copy <= set % 3 + 1; ++copy)
      tree.addFile("/Users/bob/Plain/f" + std::to_string(copy) + "/s" + std::to_string(set), content);
    std::string decoy = content;
    decoy.back() = 'z';
    tree.addFile("/Users/bob/Plain/decoy" + std::to_string(set), decoy);
  }
  DuplicateSanitizer finder(std::vector<std::string>{at("/Users/bob/Plain")});
  const auto older = setsOf(finder.findDuplicates(work).second, at("/Users/bob/Plain"));

  auto group = std::static_pointer_cast<DuplicatesGroup>(ItemGroup::group(ItemGroupName::duplicates));
  group->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(at("/Users/bob/Plain"), true)});
  run(std::make_shared<DuplicatesScanningOperation>(group, nullptr, nullptr));
  std::set<std::set<std::string>> newer;
  group->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    std::set<std::string> members;
    static_cast<const ItemGroup&>(*item).enumerateObjects([&](const ModelItemPtr& member, const ModelItemKey&, bool&) {
      members.insert(dynamic_cast<const IFileItem&>(*member).path().substr(at("/Users/bob/Plain").size()));
    });
    newer.insert(members);
  });
  EXPECT_EQ(older.size(), 6u);
  EXPECT_EQ(older, newer);
}

TEST_F(OlderDuplicatesTest, APurgeRemovesOnlyMembersRepairsTheirLibraryAndRefreshesTheMedia) {
  auto finder = sanitizer();
  const auto sets = finder->findDuplicates(work).second;
  std::vector<std::pair<std::vector<std::string>, std::optional<bool>>> repairs;
  AdditionalUpdates::setPhotosRepairHook([&repairs](const std::vector<std::string>& paths, std::optional<bool> running) {
    repairs.emplace_back(paths, running);
  });
  auto link = std::make_shared<test::FakeUserAgentLink>();
  finder->userAgentLink = link;
  finder->requireAdditionActionOnCleaningStart = true;
  const auto url = [&](const std::string& treePath) {
    return platform::URL::fileURLWithPath(at(treePath)).absoluteString();
  };
  test::LogCapture log;
  const auto [bytes, removed] = finder->purge({{url("/Users/bob/Downloads/a copy.txt"), 1},
                                               {url("/Users/bob/Documents/other.txt"), 1},
                                               {url("/Users/bob/Pictures/P.photoslibrary/Masters/2020/m.jpg"), 1},
                                               {url("/Users/bob/Movies/b.mov"), 1},
                                               {"not a URL", 1}},
                                              sets, work);
  AdditionalUpdates::setPhotosRepairHook(nullptr);
  EXPECT_EQ(bytes, 10u + 11u + 4u);
  EXPECT_EQ(removed.size(), 3u);
  EXPECT_FALSE(exists("/Users/bob/Downloads/a copy.txt"));
  EXPECT_TRUE(exists("/Users/bob/Documents/other.txt"));
  EXPECT_FALSE(exists("/Users/bob/Pictures/P.photoslibrary/Masters/2020/m.jpg"));
  EXPECT_EQ(log.count("Not a member of the duplicates found, left alone: "), 2u);
  ASSERT_EQ(repairs.size(), 1u);
  EXPECT_EQ(repairs.front().first,
            std::vector<std::string>{at("/Users/bob/Pictures/P.photoslibrary/Masters/2020/m.jpg")});
  EXPECT_EQ(repairs.front().second, std::optional<bool>(true));
  EXPECT_EQ(link->iTunesUpdates, 1);

  // To the Trash of the home holding the file, when the preferences say so.
  ZOLMPreferences preferences;
  preferences.setShouldMoveDeletedToTrash(true);
  finder->preferences = preferences;
  EXPECT_EQ(finder->purge({{url("/Users/bob/z.txt"), 1}}, sets, work).second.size(), 1u);
  EXPECT_TRUE(exists("/Users/bob/.Trash/z.txt"));
}

}  // namespace
}  // namespace vozi
