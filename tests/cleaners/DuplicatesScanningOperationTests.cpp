#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cleaners/DuplicatesScanningOperation.h"
#include "common/DuplicateItem.h"
#include "common/IFileItem.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"

namespace vozi {
namespace {

// Each set as the tree paths of its members, in order.
using Sets = std::vector<std::vector<std::string>>;

class DuplicatesScanningOperationTest : public ::testing::Test, public test::ScanFixture {
 protected:
  const std::string docs = "/Users/bob/Documents";

  std::shared_ptr<DuplicatesGroup> group() {
    auto group = std::static_pointer_cast<DuplicatesGroup>(ItemGroup::group(ItemGroupName::duplicates));
    group->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(tree.host("/Users/bob"), true)});
    group->setIgnorePathFragments({"skipme"});
    group->setIgnoreURLs({platform::URL::fileURLWithPath(tree.host(docs + "/ignored"), true)});
    return group;
  }

  Sets scan(unsigned threads, bool* cancelled = nullptr, bool cancelAtOnce = false) {
    auto scanned = group();
    std::shared_ptr<DuplicatesScanningOperation> operation;
    ItemGroupPtr result;
    operation = std::make_shared<DuplicatesScanningOperation>(
        scanned,
        [&](const std::shared_ptr<DuplicatesGroup>& done, bool wasCancelled) {
          result = done;
          if (cancelled) *cancelled = wasCancelled;
        },
        [&](std::uint64_t, std::uint64_t) {
          if (cancelAtOnce) operation->cancel();
        });
    operation->setReadingThreads(threads);
    run(operation);
    Sets sets;
    if (!result) return sets;
    result->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      const auto* set = dynamic_cast<const DuplicateItem*>(item.get());
      EXPECT_TRUE(set);
      if (!set) return;
      std::vector<std::string> members;
      set->enumerateObjects([&](const ModelItemPtr& member, const ModelItemKey&, bool&) {
        members.push_back(dynamic_cast<const IFileItem&>(*member).path().substr(root.path().size()));
      });
      sets.push_back(members);
    });
    return sets;
  }
};

TEST_F(DuplicatesScanningOperationTest, FindsTheSetsOfEqualFilesInWalkOrder) {
  const std::string same = "the same content";
  std::string big(10000, 'x');
  std::string middle = big;
  middle[5000] = 'y';
  tree.addFile(docs + "/a/one.txt", same)
      .addFile(docs + "/b/one copy.txt", same)
      .addFile(docs + "/b/deeper/x.txt", same)
      .addFile(docs + "/c/decoy.txt", "the same contenT")
      .addFile(docs + "/big1", big)
      .addFile(docs + "/big2", big)
      .addFile(docs + "/big3", middle)
      .addFile(docs + "/empty1", 0)
      .addFile(docs + "/empty2", 0)
      .addSymlink(docs + "/link.txt", tree.host(docs + "/a/one.txt"))
      .addFile(docs + "/.hidden/one.txt", same)
      .addFile(docs + "/.dot.txt", same)
      .addFile(docs + "/DIV.EZ.IRU/one.txt", same)
      .addFile(docs + "/skipme/one.txt", same)
      .addFile(docs + "/ignored/one.txt", same)
      .addFile("/Users/bob/Library/Caches/one.txt", same)
      .addFile("/Users/bob/Pictures/Photos Library.photoslibrary/Masters/2020/p.jpg", "picture")
      .addFile("/Users/bob/Pictures/Photos Library.photoslibrary/Previews/p.jpg", "picture")
      .addFile("/Users/bob/Pictures/Photos Library.photoslibrary/database/p.jpg", "picture")
      .addSymlink("/Users/bob/Pictures/Linked.photoslibrary", tree.host("/Users/bob/Pictures/Photos Library.photoslibrary"));
  ASSERT_EQ(::mkfifo(tree.host(docs + "/fifo").c_str(), 0644), 0);

  const Sets expected = {
      {docs + "/a/one.txt", docs + "/b/deeper/x.txt", docs + "/b/one copy.txt"},
      {docs + "/big1", docs + "/big2"},
      {docs + "/empty1", docs + "/empty2"},
      {"/Users/bob/Pictures/Photos Library.photoslibrary/Masters/2020/p.jpg",
       "/Users/bob/Pictures/Photos Library.photoslibrary/Previews/p.jpg"},
  };
  EXPECT_EQ(scan(1), expected);
  EXPECT_EQ(scan(8), expected);
}

// A client names the folders; only those in the users' homes are searched,
// and the clean of what was found may delete only there.
TEST_F(DuplicatesScanningOperationTest, FoldersOutsideTheHomesAreNotSearched) {
  tree.addFile("/Library/Shared/one", "same").addFile("/Library/Shared/two", "same");
  auto searched = group();
  searched->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(tree.host("/Library/Shared"), true),
                                                       platform::URL::fileURLWithPath(tree.host("/Users/../Library"), true)});
  auto operation = std::make_shared<DuplicatesScanningOperation>(searched, nullptr, nullptr);
  EXPECT_TRUE(operation->searchedFolders().empty());
  EXPECT_EQ(operation->scanningRoots(), std::vector<std::string>{tree.host("/Users")});
  run(operation);
  EXPECT_EQ(searched->count(), 0u);

  // With an agent, the session user's home.
  auto link = std::make_shared<test::FakeUserAgentLink>(caches(), tree.host("/Users/bob/Library"));
  searched->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(tree.host("/Users/alice"), true)});
  operation = std::make_shared<DuplicatesScanningOperation>(searched, nullptr, nullptr, link);
  EXPECT_TRUE(operation->searchedFolders().empty());
  EXPECT_EQ(operation->scanningRoots(), std::vector<std::string>{tree.host("/Users/bob")});
}

TEST_F(DuplicatesScanningOperationTest, ACancelledScanGivesNothing) {
  tree.addFile(docs + "/a", "same").addFile(docs + "/b", "same");
  bool cancelled = false;
  EXPECT_TRUE(scan(1, &cancelled, true).empty());
  EXPECT_TRUE(cancelled);
}

}  // namespace
}  // namespace vozi
