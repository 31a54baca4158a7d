#include <gtest/gtest.h>

#include <map>

#include "cleaners/BigFilesDefaultSearchOperation.h"
#include "cleaners/Cleaners.h"
#include "cleaners/ModelFile.h"
#include "sanitizers/FileSearcher.h"
#include "sanitizers/ScanFixture.h"

namespace vozi {
namespace {

using K = ZOLMFileItemType;
using Search = BigFilesDefaultSearchOperation<ModelFile>;
const std::vector<K> kEveryKind = {K::tracks, K::movies, K::photos, K::archives, K::documents};
// Bucket -> (file name -> kind).
using Found = std::map<std::string, std::map<std::string, K>>;

class BigFilesSearchTest : public ::testing::Test, public test::ScanFixture {
 protected:
  const std::string folder = "/Users/bob/Big";
  const platform::Date now = platform::Date::now();
  const platform::Date tenDaysAgo = now.addingTimeInterval(-10 * 86400.0);
  const platform::Date sixtyDaysAgo = now.addingTimeInterval(-60 * 86400.0);

  int completions = 0;
  std::optional<Search::Results> results;
  std::optional<std::vector<platform::Error>> errors;
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;

  BigFilesSearchTest() { registerFileSearches(); }

  // Runs the file searcher's default search of the folder and waits for it.
  void search(std::uint64_t minSize, std::optional<platform::Date> limit, std::vector<K> kinds,
              const std::string& where = "", bool cancelOnProgress = false) {
    FileSearcher<ModelFile> searcher(minSize, limit, std::move(kinds));
    std::shared_ptr<FileSearcher<ModelFile>::Operation> operation;
    operation = searcher.search(
        platform::URL::fileURLWithPath(tree.host(where.empty() ? folder : where), true),
        FileSearcher<ModelFile>::SerchMode::defaultMode,
        [this](const std::optional<Search::Results>& found, const std::optional<std::vector<platform::Error>>& failed) {
          results = found;
          errors = failed;
          ++completions;
        },
        [&, cancelOnProgress](const platform::URL&, std::int64_t done, std::int64_t total) {
          progress.emplace_back(done, total);
          if (cancelOnProgress) operation->cancel();
        });
    ASSERT_TRUE(operation);
    operation->waitUntilFinished();
  }

  Found found() const {
    Found out;
    if (!results) return out;
    for (const auto& [bucket, models] : *results) {
      for (const ModelFile& model : models)
        out[bucket][model.fileURL().path().substr(tree.host(folder).size() + 1)] = model.fileType();
    }
    return out;
  }

  void addOld(const std::string& name, std::uint64_t size, platform::Date when) {
    tree.addSparseFile(folder + "/" + name, size).setDates(folder + "/" + name, when, when);
  }
};

TEST_F(BigFilesSearchTest, KeepsBigOldFilesOfTheKindsAskedForByBucket) {
  addOld("exact.jpg", 1000, sixtyDaysAgo);
  addOld("above.jpg", 1001, sixtyDaysAgo);
  addOld("song.mp3", 5000, sixtyDaysAgo);
  addOld("unknown.zzz", 5000, sixtyDaysAgo);
  addOld("film.mov", 60'000'000, sixtyDaysAgo);
  addOld("recent.mov", 60'000'000, tenDaysAgo);
  addOld("Some.app/Contents/inside.mov", 60'000'000, sixtyDaysAgo);
  addOld("deeper/.hidden/clip.mov", 70'000'000, sixtyDaysAgo);
  const platform::Date thirtyDaysAgo = now.addingTimeInterval(-30 * 86400.0);

  struct Case {
    std::string name;
    std::optional<platform::Date> limit;
    std::vector<K> kinds;
    Found expected;
  };
  const std::vector<Case> cases = {
      {"every kind, no limit",
       std::nullopt,
       kEveryKind,
       {{"less50MB", {{"above.jpg", K::photos}, {"song.mp3", K::tracks}, {"unknown.zzz", K::documents}}},
        {"from50MBTo500MB",
         {{"film.mov", K::movies}, {"recent.mov", K::movies}, {"deeper/.hidden/clip.mov", K::movies}}}}},
      {"every kind, thirty days",
       thirtyDaysAgo,
       kEveryKind,
       {{"less50MB", {{"above.jpg", K::photos}, {"song.mp3", K::tracks}, {"unknown.zzz", K::documents}}},
        {"from50MBTo500MB", {{"film.mov", K::movies}, {"deeper/.hidden/clip.mov", K::movies}}}}},
      // Four kinds: what is none of them (here a document) is left out.
      {"four kinds", thirtyDaysAgo, {K::tracks, K::movies, K::photos, K::archives},
       {{"less50MB", {{"above.jpg", K::photos}, {"song.mp3", K::tracks}}},
        {"from50MBTo500MB", {{"film.mov", K::movies}, {"deeper/.hidden/clip.mov", K::movies}}}}},
      {"tracks only", std::nullopt, {K::tracks}, {{"less50MB", {{"song.mp3", K::tracks}}}}},
      {"no kind", std::nullopt, {}, {}},
      // Last used exactly at the limit is not before it.
      {"limit on the date", sixtyDaysAgo, kEveryKind, {}},
  };
  for (const Case& searchCase : cases) {
    completions = 0;
    progress.clear();
    search(1000, searchCase.limit, searchCase.kinds);
    EXPECT_EQ(completions, 1) << searchCase.name;
    EXPECT_FALSE(errors) << searchCase.name;
    EXPECT_EQ(found(), searchCase.expected) << searchCase.name;
    // Every entry below the folder counts, packages included; the walk
    // reports what it met, then (total, total).
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(std::int64_t{12}, std::int64_t{12})) << searchCase.name;
    EXPECT_LT(progress[progress.size() - 2].first, 12) << searchCase.name;
  }
}

TEST_F(BigFilesSearchTest, AFileWithoutDatesCountsAsUsedNow) {
  tree.addSparseFile(folder + "/fresh.mov", 60'000'000);
  search(1000, now.addingTimeInterval(3600), kEveryKind);
  EXPECT_EQ(found(), (Found{{"from50MBTo500MB", {{"fresh.mov", K::movies}}}}));
  search(1000, now.addingTimeInterval(-3600), kEveryKind);
  EXPECT_EQ(found(), Found{});
}

TEST_F(BigFilesSearchTest, AMissingFolderCompletesWithOneErrorAndNoProgress) {
  search(1000, std::nullopt, kEveryKind, "/Users/bob/Nowhere");
  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(results);
  ASSERT_TRUE(errors);
  ASSERT_EQ(errors->size(), 1u);
  EXPECT_EQ(errors->front().domain, "NSCocoaErrorDomain");
  EXPECT_EQ(errors->front().code, 4);
  const platform::Value info(errors->front().userInfo);
  const platform::Value* path = info.find("NSFilePathErrorKey");
  ASSERT_TRUE(path && path->asString());
  EXPECT_EQ(*path->asString(), tree.host("/Users/bob/Nowhere"));
  EXPECT_TRUE(progress.empty());
}

TEST_F(BigFilesSearchTest, ACancelledSearchCallsNeitherAgain) {
  for (int file = 0; file < 5; ++file) addOld("f" + std::to_string(file) + ".mov", 60'000'000, sixtyDaysAgo);
  search(1000, std::nullopt, kEveryKind, "", true);
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(progress.size(), 1u);
}

}  // namespace
}  // namespace vozi
