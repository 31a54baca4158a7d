#include <gtest/gtest.h>

#include "common/BigFileItem.h"
#include "common/BigFilesGroup.h"
#include "sanitizers/ScanFixture.h"
#include "sanitizers/TypedFileScanningOperation.h"

namespace vozi {
namespace {

class TypedFileScanningOperationTest : public ::testing::Test, public test::ScanFixture {
 protected:
  // Path -> kind of what a scan of the folder keeps for the mask.
  std::map<std::string, std::uint64_t> scan(std::uint64_t mask, std::optional<platform::Date> lastUseLimit = {}) {
    auto group = std::static_pointer_cast<BigFilesGroup>(ItemGroup::group(ItemGroupName::bigFiles));
    group->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(tree.host("/Users/bob/Media"), true)});
    group->setFileItemTypes(mask);
    group->setMinLastAccessDate(lastUseLimit);
    run(std::make_shared<TypedFileScanningOperation<BigFilesGroup, BigFileItem>>(group, nullptr, nullptr));
    std::map<std::string, std::uint64_t> kinds;
    group->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      const auto* file = dynamic_cast<const BigFileItem*>(item.get());
      EXPECT_TRUE(file) << item->description();
      if (!file) return;
      kinds[file->path().substr(tree.host("/Users/bob/Media/").size())] = file->fileType();
      // A last use is carried only under a limit.
      EXPECT_EQ(file->lastOpenDate().has_value(), lastUseLimit.has_value()) << file->path();
    });
    return kinds;
  }
};

TEST_F(TypedFileScanningOperationTest, KeepsTheKindsTheGroupAsksFor) {
  tree.addFile("/Users/bob/Media/photo.jpg", 10)
      .addFile("/Users/bob/Media/song.mp3", 20)
      .addFile("/Users/bob/Media/film.mov", 30)
      .addFile("/Users/bob/Media/notes.txt", 40)
      .addFile("/Users/bob/Media/blob", 50);
  using K = ZOLMFileItemType;
  const auto kind = [](K k) { return static_cast<std::uint64_t>(k); };
  EXPECT_EQ(scan(4), (std::map<std::string, std::uint64_t>{{"photo.jpg", kind(K::photos)}}));
  EXPECT_EQ(scan(0), (std::map<std::string, std::uint64_t>{}));
  EXPECT_EQ(scan(1 | 2), (std::map<std::string, std::uint64_t>{{"song.mp3", kind(K::tracks)}, {"film.mov", kind(K::movies)}}));
  EXPECT_EQ(scan(31), (std::map<std::string, std::uint64_t>{{"photo.jpg", kind(K::photos)},
                                                            {"song.mp3", kind(K::tracks)},
                                                            {"film.mov", kind(K::movies)},
                                                            {"notes.txt", kind(K::documents)},
                                                            {"blob", kind(K::documents)}}));
  // Under a last-use limit in the future every file is old enough.
  EXPECT_EQ(scan(4, platform::Date::now().addingTimeInterval(3600)).size(), 1u);
}

}  // namespace
}  // namespace vozi
