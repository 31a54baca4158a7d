#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cleaners/Cleaners.h"
#include "cleaners/MemorySanitizer.h"
#include "cleaners/OlderFileSanitizers.h"
#include "platform/FileManager.h"
#include "sanitizers/ScanFixture.h"
#include "support/LogCapture.h"
#include "support/ScopedProcessUser.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

class OlderFileSanitizersTest : public ::testing::Test, public test::ScanFixture {
 protected:
  const platform::Date old = platform::Date::now().addingTimeInterval(-60 * 86400.0);
  std::string at(const std::string& treePath) const { return tree.host(treePath); }
  bool exists(const std::string& treePath) const { return fs::exists(fs::symlink_status(at(treePath))); }

  OlderFileSanitizersTest() {
    registerFileSearches();
    tree.addSparseFile("/Users/bob/Movies/old.mov", 60'000'000)
        .setDates("/Users/bob/Movies/old.mov", old, old)
        .addSparseFile("/Users/bob/Movies/new.mov", 60'000'000)
        .addSparseFile("/Users/bob/Movies/older.mov", 70'000'000)
        .setDates("/Users/bob/Movies/older.mov", old, old)
        .addSparseFile("/Users/bob/Other/elsewhere.mov", 60'000'000)
        .setDates("/Users/bob/Other/elsewhere.mov", old, old);
  }
  static std::vector<std::string> pathsOf(const std::vector<ModelFile>& files) {
    std::vector<std::string> paths;
    for (const ModelFile& file : files) paths.push_back(file.fileURL().path());
    std::sort(paths.begin(), paths.end());
    return paths;
  }
};

TEST_F(OlderFileSanitizersTest, BigFilesAreSearchedInTheFirstFolderAndOnlyThoseFoundGo) {
  BigFilesSanitizer sanitizer(std::vector<std::string>{at("/Users/bob/Movies"), at("/Users/bob/Other")});
  platform::DispatchWorkItem work;
  const auto [total, found] = sanitizer.bigFiles(work);
  EXPECT_EQ(total, 130'000'000u);
  EXPECT_EQ(pathsOf(found), (std::vector<std::string>{at("/Users/bob/Movies/old.mov"), at("/Users/bob/Movies/older.mov")}));

  test::LogCapture log;
  const std::string oldURL = platform::URL::fileURLWithPath(at("/Users/bob/Movies/old.mov")).absoluteString();
  const std::string newURL = platform::URL::fileURLWithPath(at("/Users/bob/Movies/new.mov")).absoluteString();
  const auto [bytes, removed] = sanitizer.purge({{oldURL, 1}, {newURL, 1}, {"not a URL", 1}}, found, work);
  EXPECT_EQ(bytes, 60'000'000u);
  EXPECT_EQ(pathsOf(removed), std::vector<std::string>{at("/Users/bob/Movies/old.mov")});
  EXPECT_FALSE(exists("/Users/bob/Movies/old.mov"));
  EXPECT_TRUE(exists("/Users/bob/Movies/new.mov"));
  EXPECT_EQ(log.count("Not a big file the search found, left alone: "), 2u);

  // To the Trash of the home holding the file, when the preferences say so.
  ZOLMPreferences preferences;
  preferences.setShouldMoveDeletedToTrash(true);
  sanitizer.preferences = preferences;
  const std::string olderURL = platform::URL::fileURLWithPath(at("/Users/bob/Movies/older.mov")).absoluteString();
  EXPECT_EQ(sanitizer.purge({{olderURL, 1}}, found, work).first, 70'000'000u);
  EXPECT_FALSE(exists("/Users/bob/Movies/older.mov"));
  EXPECT_TRUE(exists("/Users/bob/.Trash/older.mov"));

  // A cancelled work item: nothing searched, nothing removed.
  platform::DispatchWorkItem cancelled;
  cancelled.cancel();
  EXPECT_EQ(sanitizer.bigFiles(cancelled).second.size(), 0u);
  EXPECT_EQ(sanitizer.purge({{newURL, 1}}, found, cancelled).first, 0u);
}

TEST_F(OlderFileSanitizersTest, TheTrashKeepsATakenNameAndTheOwner) {
  tree.addFile("/Users/bob/.Trash/clip.mov", 3).addFile("/Users/bob/Movies/clip.mov", 5);
  const auto moved =
      platform::FileManager::defaultManager().trashItem(at("/Users/bob/Movies/clip.mov"), at("/Users/bob/.Trash"));
  ASSERT_TRUE(moved) << moved.error().localizedDescription();
  EXPECT_EQ(*moved, at("/Users/bob/.Trash/clip 2.mov"));
  EXPECT_EQ(fs::file_size(at("/Users/bob/.Trash/clip.mov")), 3u);
  EXPECT_EQ(fs::file_size(*moved), 5u);
  // Through a link, nothing moves.
  tree.addFile("/Users/bob/Real/file", 1).addSymlink("/Users/bob/Linked", at("/Users/bob/Real"));
  EXPECT_FALSE(platform::FileManager::defaultManager().trashItem(at("/Users/bob/Linked/file"), at("/Users/bob/.Trash")));
  EXPECT_TRUE(exists("/Users/bob/Real/file"));
}

TEST_F(OlderFileSanitizersTest, MailAttachmentsAreScannedAndOnlyWhatTheScanFoundIsDeleted) {
  EXPECT_FALSE(MailAttachmentsSanitizer::make(""));
  tree.addFile("/Users/bob/Library/Mail Downloads/a.pdf", 10)
      .addFile("/Users/bob/Library/Mail/V8/box/Attachments/1/b.jpg", 20)
      .addFile("/Users/bob/Library/Mail/V8/box/Messages/1.emlx", 30);
  test::ScopedProcessUser asBob("bob");
  const auto sanitizer = MailAttachmentsSanitizer::make("bob");
  ASSERT_TRUE(sanitizer);
  EXPECT_EQ(sanitizer->dirs(), std::vector<std::string>{at("/Users/bob/Library/Mail Downloads")});
  const auto scanned = sanitizer->scan();
  EXPECT_EQ(scanned.first, 30u);
  EXPECT_EQ(scanned.second, (Sanitizer::Sizes{{at("/Users/bob/Library/Mail Downloads/a.pdf"), 10},
                                              {at("/Users/bob/Library/Mail/V8/box/Attachments/1/b.jpg"), 20}}));
  platform::DispatchWorkItem work;
  EXPECT_EQ(sanitizer->mailAttachments(work).second.size(), 2u);

  const std::string gone = at("/Users/bob/Library/Mail Downloads/gone.pdf");
  auto found = scanned.second;
  found[gone] = 5;
  const auto removed = sanitizer->purge(
      {{at("/Users/bob/Library/Mail Downloads/a.pdf"), 1}, {gone, 1}, {at("/Users/bob/Library/Mail/V8/box/Messages/1.emlx"), 1}},
      found, work);
  EXPECT_EQ(removed.first, 10u);
  EXPECT_EQ(removed.second, (Sanitizer::Sizes{{at("/Users/bob/Library/Mail Downloads/a.pdf"), 10}, {gone, 0}}));
  EXPECT_FALSE(exists("/Users/bob/Library/Mail Downloads/a.pdf"));
  EXPECT_TRUE(exists("/Users/bob/Library/Mail/V8/box/Messages/1.emlx"));
}

TEST_F(OlderFileSanitizersTest, TheTrashIsEmptiedOnlyAboveItsThreshold) {
  tree.addFile("/Users/bob/.Trash/a", 60).addFile("/Users/bob/.Trash/B/b", 40).addFile("/Users/bob/Keep/c", 7);
  TrashBinSanitizer sanitizer(at("/Users/bob/.Trash"));
  ZOLMPreferences preferences;
  preferences.setMinTrashSizeToClean(100);
  sanitizer.preferences = preferences;
  EXPECT_EQ(sanitizer.purge(at("/Users/bob/.Trash")), 0u);  // exactly at the threshold
  EXPECT_TRUE(exists("/Users/bob/.Trash/a"));
  preferences.setMinTrashSizeToClean(99);
  sanitizer.preferences = preferences;
  EXPECT_EQ(sanitizer.purge(at("/Users/bob/Keep")), 0u);  // not its Trash
  EXPECT_TRUE(exists("/Users/bob/Keep/c"));
  EXPECT_EQ(sanitizer.purge(at("/Users/bob/.Trash")), 100u);
  EXPECT_FALSE(exists("/Users/bob/.Trash/a"));
  EXPECT_FALSE(exists("/Users/bob/.Trash/B"));
  EXPECT_TRUE(exists("/Users/bob/.Trash"));
  // Through the selection purge, as the scan groups call it.
  tree.addFile("/Users/bob/.Trash/d", 200);
  platform::DispatchWorkItem work;
  EXPECT_EQ(sanitizer.purge({{at("/Users/bob/.Trash"), 200}}, Sanitizer::Sizes{{at("/Users/bob/.Trash"), 200}}, work).first,
            200u);
}

TEST_F(OlderFileSanitizersTest, TheShredderOverwritesOnlyTheOwnersFilesInItsFolders) {
  tree.addFile("/Users/bob/Secret/a.txt", 5000).addFile("/Users/bob/Elsewhere/b.txt", 10);
  ShredderSanitizer sanitizer(std::vector<std::string>{at("/Users/bob/Secret")}, ::geteuid());
  platform::DispatchWorkItem work;
  const auto [bytes, files] = sanitizer.purge(
      {{at("/Users/bob/Secret/a.txt"), 1}, {at("/Users/bob/Elsewhere/b.txt"), 1}, {at("/Users/bob/Secret/none"), 1}},
      work);
  EXPECT_EQ(bytes, 5000u);
  EXPECT_EQ(files.size(), 3u);
  EXPECT_FALSE(exists("/Users/bob/Secret/a.txt"));
  EXPECT_TRUE(exists("/Users/bob/Elsewhere/b.txt"));
  // Someone else's file is not shredded.
  tree.addFile("/Users/bob/Secret/theirs.txt", 10);
  ShredderSanitizer forOther(std::vector<std::string>{at("/Users/bob/Secret")}, ::geteuid() + 1);
  EXPECT_EQ(forOther.purge({{at("/Users/bob/Secret/theirs.txt"), 1}}, work).first, 0u);
  EXPECT_TRUE(exists("/Users/bob/Secret/theirs.txt"));
  platform::DispatchWorkItem cancelled;
  cancelled.cancel();
  EXPECT_TRUE(sanitizer.purge({{at("/Users/bob/Secret/theirs.txt"), 1}}, cancelled).second.empty());
}

TEST(MemorySanitizerTest, IsASanitizerWithoutFolders) {
  MemorySanitizer sanitizer;
  EXPECT_TRUE(sanitizer.dirs().empty());
  const auto [free, map] = sanitizer.scan();
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(map.begin()->first, "free");
  EXPECT_EQ(map.begin()->second, free);
}

}  // namespace
}  // namespace vozi
