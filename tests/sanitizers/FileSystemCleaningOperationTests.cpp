#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "common/FileRepresentableGroup.h"
#include "common/TypedFileItem.h"
#include "common/UserCacheGroup.h"
#include "sanitizers/FileSystemCleaningOperation.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"
#include "support/LogCapture.h"

namespace vozi {
namespace {

using test::FakeUserAgentLink;
using test::ScanFixture;

bool existsAsItself(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

class FileSystemCleaningOperationTest : public ::testing::Test, public ScanFixture {
 protected:
  std::shared_ptr<UserCacheGroup> group = std::static_pointer_cast<UserCacheGroup>(ItemGroup::group(ItemGroupName::userCache));
  std::shared_ptr<CleaningScope> scope = std::make_shared<CleaningScope>();
  std::shared_ptr<FakeUserAgentLink> link = std::make_shared<FakeUserAgentLink>();
  bool cancelledFlag = false;
  int completions = 0;
  std::uint64_t progressSum = 0;

  FileSystemCleaningOperationTest() { scope->roots = {caches()}; }

  // A file item of the tree path, held by the stored scan unless told.
  ModelItemPtr file(const std::string& treePath, std::uint64_t size, bool stored = true, std::uint64_t type = 0) {
    const std::string path = tree.host(treePath);
    if (stored) scope->storedPaths.insert(path);
    if (type != 0) return std::make_shared<TypedFileItem>(platform::URL::fileURLWithPath(path), size, std::nullopt, "", type);
    return std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), size, std::nullopt);
  }

  std::shared_ptr<FileSystemCleaningOperation<UserCacheGroup>> clean(bool withScope = true) {
    return std::make_shared<FileSystemCleaningOperation<UserCacheGroup>>(
        group,
        [this](const std::shared_ptr<UserCacheGroup>&, bool cancelled) {
          cancelledFlag = cancelled;
          ++completions;
        },
        [this](std::uint64_t progress, std::uint64_t) { progressSum += progress; },
        SanitizerEnvironment{queue, link, withScope ? scope : nullptr});
  }
};

TEST_F(FileSystemCleaningOperationTest, DeletesOnlyWhatTheScopeAdmitsAndSizesFollowAtEveryLevel) {
  tree.addFile("/Users/bob/Library/Caches/a", 10)
      .addFile("/Users/bob/Library/Caches/notStored", 20)
      .addFile("/Users/bob/Library/Caches/sub/c", 30)
      .addFile("/Users/bob/Library/Caches/sub/notStored", 40)
      .addFile("/Users/bob/Documents/outside", 50)
      .addSymlink("/Users/bob/Library/Caches/dangling", "nowhere")
      .addFile("/Users/bob/Library/Caches/Foo.app/Contents/x", 5)
      .addSymlink("/Users/bob/Library/Caches/toOutside", tree.host("/Users/bob/Documents"));
  group->addItem(file("/Users/bob/Library/Caches/a", 10));
  group->addItem(file("/Users/bob/Library/Caches/notStored", 20, false));
  group->addItem(file("/Users/bob/Documents/outside", 50));
  group->addItem(file("/Users/bob/Library/Caches/dangling", 7));
  group->addItem(file("/Users/bob/Library/Caches/Foo.app", 5));
  group->addItem(file("/Users/bob/Library/Caches/toOutside", 3));
  group->addItem(file("/Users/bob/Library/Caches/alreadyGone", 9));
  auto sub = std::make_shared<FileRepresentableGroup>("sub", 0, nullptr, "sub", nullptr, nullptr);
  sub->addItem(file("/Users/bob/Library/Caches/sub/c", 30));
  sub->addItem(file("/Users/bob/Library/Caches/sub/notStored", 40, false));
  group->addItem(sub);
  ASSERT_EQ(group->size(), 10u + 20 + 50 + 7 + 5 + 3 + 9 + 70);

  test::LogCapture log;
  run(clean());

  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(cancelledFlag);
  EXPECT_EQ(progressSum, 9u);  // every leaf reached
  for (const char* gone : {"a", "dangling", "Foo.app", "toOutside", "sub/c"}) {
    EXPECT_FALSE(existsAsItself(caches() + "/" + gone)) << gone;
  }
  for (const char* kept : {"/Users/bob/Library/Caches/notStored", "/Users/bob/Library/Caches/sub/notStored",
                           "/Users/bob/Documents/outside"}) {
    EXPECT_TRUE(existsAsItself(tree.host(kept))) << kept;
  }
  const std::map<std::string, std::uint64_t> removed = {
      {caches() + "/a", 10},      {caches() + "/dangling", 7},    {caches() + "/Foo.app", 5},
      {caches() + "/toOutside", 3}, {caches() + "/alreadyGone", 9},
  };
  EXPECT_EQ(files(*group), removed);
  EXPECT_EQ(files(*sub), (std::map<std::string, std::uint64_t>{{caches() + "/sub/c", 30}}));
  EXPECT_EQ(sub->size(), 30u);
  EXPECT_EQ(group->size(), 10u + 7 + 5 + 3 + 9 + 30);
  EXPECT_EQ(group->count(), 6u);  // the sub-group stays
}

TEST_F(FileSystemCleaningOperationTest, WithoutAScopeNothingIsDeleted) {
  tree.addFile("/Users/bob/Library/Caches/a", 10);
  group->addItem(file("/Users/bob/Library/Caches/a", 10));
  run(clean(false));
  EXPECT_TRUE(existsAsItself(caches() + "/a"));
  EXPECT_EQ(group->count(), 0u);
  EXPECT_EQ(group->size(), 0u);
}

TEST_F(FileSystemCleaningOperationTest, AFolderTurnedIntoALinkStopsTheDeleteThere) {
  tree.addFile("/Users/bob/Library/Caches/d/x", 10).addFile("/Users/bob/Documents/x", 10);
  group->addItem(file("/Users/bob/Library/Caches/d/x", 10));
  std::filesystem::remove_all(tree.host("/Users/bob/Library/Caches/d"));
  tree.addSymlink("/Users/bob/Library/Caches/d", tree.host("/Users/bob/Documents"));
  test::LogCapture log;
  run(clean());
  EXPECT_TRUE(existsAsItself(tree.host("/Users/bob/Documents/x")));
  EXPECT_EQ(group->count(), 0u);
  bool logged = false;
  for (const auto& line : log.lines()) logged |= line.find("Error on deleting item: ") != std::string::npos;
  EXPECT_TRUE(logged);
}

TEST_F(FileSystemCleaningOperationTest, CancelledBeforeTheWalkDropsEverythingAndTouchesNothing) {
  tree.addFile("/Users/bob/Library/Caches/a", 10).addFile("/Users/bob/Library/Caches/sub/c", 30);
  group->addItem(file("/Users/bob/Library/Caches/a", 10));
  auto sub = std::make_shared<FileRepresentableGroup>("sub", 0, nullptr, "sub", nullptr, nullptr);
  sub->addItem(file("/Users/bob/Library/Caches/sub/c", 30));
  group->addItem(sub);
  auto operation = clean();
  operation->cancel();
  operation->main();  // a cancelled operation that had started: the walk sees the cancel at every item
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(cancelledFlag);
  EXPECT_TRUE(existsAsItself(caches() + "/a"));
  EXPECT_TRUE(existsAsItself(caches() + "/sub/c"));
  EXPECT_EQ(group->count(), 0u);
  EXPECT_EQ(group->size(), 0u);
}

TEST_F(FileSystemCleaningOperationTest, MediaUpdatesAsTheDeletedKindsCallForThem) {
  std::vector<std::vector<std::string>> repairs;
  AdditionalUpdates::setPhotosRepairHook(
      [&repairs](const std::vector<std::string>& paths, std::optional<bool>) { repairs.push_back(paths); });
  const struct {
    const char* name;
    std::uint64_t type;
  } files[] = {{"song", 1}, {"film", 2}, {"both", 3}, {"p1", 4}, {"archive", 8}, {"p2", 4}};
  for (const auto& f : files) {
    tree.addFile(std::string(kCaches) + "/" + f.name, 4);
    group->addItem(file(std::string(kCaches) + "/" + f.name, 4, true, f.type));
  }
  run(clean());
  AdditionalUpdates::setPhotosRepairHook(nullptr);
  EXPECT_EQ(link->iTunesUpdates.load(), 1);
  EXPECT_EQ(repairs, (std::vector<std::vector<std::string>>{{caches() + "/p1", caches() + "/p2"}}));
}

TEST_F(FileSystemCleaningOperationTest, RefusedItemsStayOnDiskAndLeaveTheGroupInOrder) {
  std::vector<std::string> removed;
  for (const char* name : {"a", "b", "c", "d"}) {
    tree.addFile(std::string(kCaches) + "/" + name, 1);
    group->addItem(file(std::string(kCaches) + "/" + name, 1));
  }
  auto operation = clean();
  operation->setShouldRemoveHandler([](const ModelItemPtr& item) { return *item->name() != "b" && *item->name() != "c"; });
  operation->setDidRemoveHandler([&removed](const ModelItemPtr& item) { removed.push_back(*item->name()); });
  run(operation);
  EXPECT_EQ(removed, (std::vector<std::string>{"a", "d"}));
  EXPECT_TRUE(existsAsItself(caches() + "/b"));
  EXPECT_TRUE(existsAsItself(caches() + "/c"));
  EXPECT_FALSE(existsAsItself(caches() + "/a"));
  std::vector<std::string> left;
  group->enumerateObjects([&left](const ModelItemPtr& item, const ModelItemKey&, bool&) { left.push_back(*item->name()); });
  EXPECT_EQ(left, (std::vector<std::string>{"a", "d"}));
  EXPECT_EQ(group->size(), 2u);
  EXPECT_EQ(progressSum, 4u);
}

TEST_F(FileSystemCleaningOperationTest, AnEmptyGroupCompletesUnchangedWithNoUpdate) {
  run(clean());
  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(cancelledFlag);
  EXPECT_EQ(link->iTunesUpdates.load(), 0);
  EXPECT_EQ(progressSum, 0u);
}

}  // namespace
}  // namespace vozi
