#include <gtest/gtest.h>

#include <unordered_set>

#include "cleaners/ModelDuplicate.h"
#include "cleaners/ModelFile.h"
#include "sanitizers/ScanFixture.h"

namespace vozi {
namespace {

class ModelTest : public ::testing::Test, public test::ScanFixture {
 protected:
  ModelFile file(const std::string& treePath) const {
    return ModelFile(platform::URL::fileURLWithPath(tree.host(treePath)));
  }
};

TEST_F(ModelTest, AFileModelsBucketIncludesItsLowerBound) {
  const std::pair<std::uint64_t, FileSizeCategory> cases[] = {
      {0, FileSizeCategory::less50MB},
      {52422799, FileSizeCategory::less50MB},
      {52422800, FileSizeCategory::from50MBTo500MB},
      {524227999, FileSizeCategory::from50MBTo500MB},
      {524228000, FileSizeCategory::from500MBTo1GB},
      {1073741823, FileSizeCategory::from500MBTo1GB},
      {1073741824, FileSizeCategory::bigger1GB},
  };
  for (const auto& [size, bucket] : cases)
    EXPECT_EQ(ModelFile("/x", size, std::nullopt, ZOLMFileItemType::documents).fileSizeCategory(), bucket) << size;
}

TEST_F(ModelTest, AFileModelFromItsFileAndFromStoredValues) {
  tree.addFile("/Users/bob/song.mp3", 300);
  const ModelFile found = file("/Users/bob/song.mp3");
  EXPECT_EQ(found.fileName(), "song.mp3");
  EXPECT_EQ(found.fileSize(), 300u);
  EXPECT_EQ(found.fileType(), ZOLMFileItemType::tracks);

  const ModelFile missing = file("/Users/bob/nothing.mp3");
  EXPECT_EQ(missing.fileName(), "");
  EXPECT_EQ(missing.fileSize(), 0u);
  EXPECT_EQ(missing.fileType(), ZOLMFileItemType::documents);

  const ModelFile stored(tree.host("/Users/bob/nothing.mp3"), 5, std::nullopt, std::nullopt);
  EXPECT_EQ(stored.fileName(), "");
  const auto dictionary = stored.asDictionary();
  EXPECT_EQ(*dictionary.at("sectionName").asString(), "");
  EXPECT_TRUE(dictionary.at("lastOpen").isNull());
  EXPECT_EQ(*dictionary.at("filePath").asString(), tree.host("/Users/bob/nothing.mp3"));

  // Not there when first hashed: no hash for good, even once it exists.
  EXPECT_FALSE(stored.fileHash());
  tree.addFile("/Users/bob/nothing.mp3", 5);
  EXPECT_FALSE(stored.fileHash());
}

TEST_F(ModelTest, FileModelsAreEqualByStandardizedPath) {
  const ModelFile plain(tree.host("/Users/bob/a/f"), 1, std::nullopt, ZOLMFileItemType::documents);
  const ModelFile dotted(tree.host("/Users/bob/a/./b/../f"), 1, std::nullopt, ZOLMFileItemType::documents);
  EXPECT_TRUE(plain == dotted);
  EXPECT_EQ(std::hash<ModelFile>{}(plain), std::hash<ModelFile>{}(dotted));
  EXPECT_FALSE(plain.equalTo(dotted));
  EXPECT_TRUE(plain.equalTo(plain));
}

TEST_F(ModelTest, ADuplicateSetTakesOnlyReadableEqualFiles) {
  tree.addFile("/Users/bob/one", "same").addFile("/Users/bob/two", "same").addFile("/Users/bob/other", "diff");
  ModelDuplicate set(file("/Users/bob/one"));
  EXPECT_TRUE(set.add(file("/Users/bob/two")));
  EXPECT_FALSE(set.add(file("/Users/bob/other")));
  EXPECT_FALSE(set.add(ModelFile(tree.host("/Users/bob/gone"), 4, std::nullopt, std::nullopt)));
  ASSERT_EQ(set.dups().size(), 2u);
  EXPECT_EQ(set.name(), "one");
  EXPECT_EQ(set.size(), 4u);

  // Two files that cannot be read are not alike.
  ModelDuplicate unreadable(ModelFile(tree.host("/Users/bob/gone"), 4, std::nullopt, std::nullopt));
  EXPECT_FALSE(unreadable.add(ModelFile(tree.host("/Users/bob/gone too"), 4, std::nullopt, std::nullopt)));

  const auto dictionary = set.asDictionary();
  const auto& members = *dictionary.at("duplicates").asArray();
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(*members[1].asDictionary()->at("filePath").asString(), tree.host("/Users/bob/two"));
  EXPECT_TRUE(members[0].asDictionary()->at("lastOpen").asDouble());
}

TEST_F(ModelTest, RemovingDeletedFilesDropsSetsLeftWithFewerThanTwo) {
  for (const char* name : {"a1", "a2", "a3", "b1", "b2"}) tree.addFile(std::string("/Users/bob/") + name, name[0] == 'a' ? "aaa" : "bbb");
  ModelDuplicate a(file("/Users/bob/a1"));
  a.add(file("/Users/bob/a2"));
  a.add(file("/Users/bob/a3"));
  ModelDuplicate b(file("/Users/bob/b1"));
  b.add(file("/Users/bob/b2"));
  std::vector<ModelDuplicate> sets = {a, b};
  ModelDuplicate::removeFiles({ModelFile(tree.host("/Users/bob/x/../a2"), 3, std::nullopt, std::nullopt),
                               ModelFile(tree.host("/Users/bob/./b1"), 3, std::nullopt, std::nullopt)},
                              sets);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets.front().dups().size(), 2u);
  EXPECT_EQ(a.dups().size(), 2u) << "sets are shared";

  std::vector<ModelDuplicate> single = {b};
  ModelDuplicate::removeFiles({}, single);
  EXPECT_TRUE(single.empty());

  // Equal by name, whatever else.
  tree.addFile("/Users/bob/other/a1", "longer content");
  const ModelDuplicate namesake(file("/Users/bob/other/a1"));
  EXPECT_TRUE(namesake == a);
  EXPECT_EQ((std::unordered_set<ModelDuplicate>{a, namesake}.size()), 1u);
}

}  // namespace
}  // namespace vozi
