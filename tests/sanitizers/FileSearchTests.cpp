#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/MetadataQuery.h"
#include "sanitizers/FileSearcher.h"
#include "sanitizers/ScanFixture.h"
#include "sanitizers/SpotlightSearchOperation.h"

namespace vozi {
namespace {

// The least file model a search can collect.
struct Model {
  std::string path;
  std::uint64_t size = 0;
  std::optional<platform::Date> lastOpen;
  std::optional<ZOLMFileItemType> fileType;

  Model(std::string path, std::uint64_t size, std::optional<platform::Date> lastOpen,
        std::optional<ZOLMFileItemType> fileType)
      : path(std::move(path)), size(size), lastOpen(lastOpen), fileType(fileType) {}
  FileSizeCategory fileSizeCategory() const { return fileSizeCategoryInclusive(size); }
  bool operator==(const Model& other) const { return path == other.path; }
};

}  // namespace
}  // namespace vozi

template <>
struct std::hash<vozi::Model> {
  std::size_t operator()(const vozi::Model& model) const { return std::hash<std::string>{}(model.path); }
};

namespace vozi {
namespace {

using Search = SpotlightSearchOperation<Model>;
using Results = Search::Results;
constexpr ZOLMFileItemType kEveryKind[] = {ZOLMFileItemType::tracks, ZOLMFileItemType::movies, ZOLMFileItemType::photos,
                                           ZOLMFileItemType::archives, ZOLMFileItemType::documents};

// Bucket -> (file name -> kind) of a result.
using Found = std::map<std::string, std::map<std::string, ZOLMFileItemType>>;

class FileSearchTest : public ::testing::Test, public test::ScanFixture {
 protected:
  const std::string folder = "/Users/bob/Big";
  int completions = 0;
  std::optional<Results> results;
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;

  Found found() const {
    Found out;
    if (!results) return out;
    for (const auto& [bucket, models] : *results) {
      for (const Model& model : models)
        out[bucket][model.path.substr(tree.host(folder).size() + 1)] = model.fileType.value();
    }
    return out;
  }

  std::shared_ptr<Search> search(std::uint64_t minSize, std::vector<ZOLMFileItemType> kinds,
                                 bool cancelAtFirstResult = false) {
    operation_ = std::make_shared<Search>(
        platform::URL::fileURLWithPath(tree.host(folder), true), minSize, std::nullopt, std::move(kinds),
        [this](const std::optional<Results>& found, const std::optional<std::vector<platform::Error>>& errors) {
          EXPECT_FALSE(errors);
          results = found;
          ++completions;
        },
        [this, cancelAtFirstResult](const platform::URL& url, std::int64_t done, std::int64_t total) {
          EXPECT_EQ(url.path(), tree.host(folder));
          progress.emplace_back(done, total);
          if (cancelAtFirstResult) operation_->cancel();
        });
    return operation_;
  }

 private:
  std::shared_ptr<Search> operation_;
};

TEST_F(FileSearchTest, ReportsFilesAboveTheMinimumByBucketOnce) {
  tree.addFile(folder + "/exactly.jpg", 100)
      .addFile(folder + "/above.jpg", 101)
      .addFile(folder + "/song.mp3", 200)
      .addFile(folder + "/unknown.zzz", 300)
      .addSparseFile(folder + "/film.mov", 60000000)
      .addFile(folder + "/.hidden/inside.jpg", 500)
      .addFile(folder + "/Some.app/Contents/big.jpg", 500)
      .addSymlink(folder + "/link.jpg", tree.host(folder + "/song.mp3"));
  run(search(100, {std::begin(kEveryKind), std::end(kEveryKind)}));
  EXPECT_EQ(completions, 1);
  using K = ZOLMFileItemType;
  EXPECT_EQ(found(), (Found{{"less50MB", {{"above.jpg", K::photos}, {"song.mp3", K::tracks}, {"unknown.zzz", K::documents}}},
                            {"from50MBTo500MB", {{"film.mov", K::movies}}}}));
  ASSERT_EQ(progress.size(), 4u);
  EXPECT_EQ(progress.back(), std::make_pair(std::int64_t{4}, std::int64_t{4}));
}

TEST_F(FileSearchTest, WithFewerKindsAFileWithoutAContentTypeIsDroppedButReported) {
  tree.addFile(folder + "/a.jpg", 10).addFile(folder + "/b.mp3", 10).addFile(folder + "/c.zzz", 10);
  run(search(1, {ZOLMFileItemType::photos, ZOLMFileItemType::documents}));
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(found(), (Found{{"less50MB", {{"a.jpg", ZOLMFileItemType::photos}}}}));
  EXPECT_EQ(progress.size(), 3u);
}

TEST_F(FileSearchTest, ACancelBetweenResultsEndsWithoutTheCompletion) {
  tree.addFile(folder + "/a.jpg", 10).addFile(folder + "/b.jpg", 10);
  run(search(1, {std::begin(kEveryKind), std::end(kEveryKind)}, true));
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(progress.size(), 1u);
}

TEST_F(FileSearchTest, AFolderThatIsNotThereGivesAnEmptyResult) {
  run(search(1, {std::begin(kEveryKind), std::end(kEveryKind)}));
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(found().empty());
}

TEST(MetadataQuery, PredicatesOfSizeOnly) {
  auto query = platform::MetadataQuery::make();
  for (const char* accepted : {"kMDItemFSSize > 10", "kMDItemFSSize >= 0", " kMDItemFSSize<=5 ", "kMDItemFSSize == 7"})
    EXPECT_TRUE(query->setPredicate(accepted)) << accepted;
  for (const char* refused : {"kMDItemFSSize > -1", "kMDItemFSSize > 1x", "kMDItemFSName > 1", "kMDItemFSSize ! 1",
                              "kMDItemFSSize >", ""})
    EXPECT_FALSE(query->setPredicate(refused)) << refused;
  EXPECT_FALSE(query->start()) << "no search scope";
}

// --- The searcher -----------------------------------------------------------

// A search that holds until released or cancelled; a cancelled one calls
// no completion.
class HeldSearch : public FilesSearchOperationBase<Model> {
 public:
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    int started = 0;
    int finished = 0;
    int mostAtOnce = 0;
    int finishedBeforeTheLastStarted = -1;
    bool released = false;
  };
  HeldSearch(std::shared_ptr<Gate> gate, int expected, Completion completion)
      : FilesSearchOperationBase(platform::URL::fileURLWithPath("/"), 0, std::nullopt, {}, std::move(completion), nullptr),
        gate_(std::move(gate)),
        expected_(expected) {}

  void main() override {
    std::unique_lock lock(gate_->mutex);
    ++gate_->started;
    ++gate_->running;
    gate_->mostAtOnce = std::max(gate_->mostAtOnce, gate_->running);
    if (gate_->started == expected_) gate_->finishedBeforeTheLastStarted = gate_->finished;
    gate_->changed.notify_all();
    gate_->changed.wait(lock, [&] { return gate_->released || isCancelled(); });
    --gate_->running;
    ++gate_->finished;
    gate_->changed.notify_all();
    const bool cancelled = isCancelled();
    lock.unlock();
    if (!cancelled) reportCompletion(Results{}, std::nullopt);
    reset();
  }
  void cancel() override {
    FilesSearchOperationBase::cancel();
    std::lock_guard lock(gate_->mutex);
    gate_->changed.notify_all();
  }

 private:
  std::shared_ptr<Gate> gate_;
  int expected_;
};

class FileSearcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FileSearcher<Model>::setDefaultSearchFactory([gate = gate](const platform::URL&, std::uint64_t,
                                                               const std::optional<platform::Date>&,
                                                               const std::vector<ZOLMFileItemType>&,
                                                               FileSearcher<Model>::Completion completion,
                                                               FileSearcher<Model>::SearchProgressHandler) {
      return std::make_shared<HeldSearch>(gate, 4, std::move(completion));
    });
  }
  void TearDown() override { FileSearcher<Model>::setDefaultSearchFactory(nullptr); }

  std::shared_ptr<HeldSearch::Gate> gate = std::make_shared<HeldSearch::Gate>();
  std::atomic<int> completions{0};

  void searchFour(FileSearcher<Model>& searcher) {
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(searcher.search(platform::URL::fileURLWithPath("/"), FileSearcher<Model>::SerchMode::defaultMode,
                                  [this](const auto&, const auto&) { ++completions; }, nullptr));
    }
    std::unique_lock lock(gate->mutex);
    gate->changed.wait(lock, [&] { return gate->started >= 3; });
  }
};

TEST_F(FileSearcherTest, RunsThreeSearchesAtOnceAndTheFourthWhenOneEnds) {
  {
    FileSearcher<Model> searcher(0, std::nullopt, {});
    searchFour(searcher);
    {
      std::lock_guard lock(gate->mutex);
      gate->released = true;
      gate->changed.notify_all();
    }
    std::unique_lock lock(gate->mutex);
    gate->changed.wait(lock, [&] { return gate->finished == 4; });
  }
  EXPECT_EQ(gate->mostAtOnce, 3);
  EXPECT_GE(gate->finishedBeforeTheLastStarted, 1);
  EXPECT_EQ(completions, 4);
}

TEST_F(FileSearcherTest, ReleasingTheSearcherCancelsWhatItQueued) {
  {
    FileSearcher<Model> searcher(0, std::nullopt, {});
    searchFour(searcher);
  }
  EXPECT_EQ(gate->started, 3) << "the queued search never starts";
  EXPECT_EQ(completions, 0);
}

TEST_F(FileSearcherTest, TheDefaultModeNeedsARegisteredSearch) {
  FileSearcher<Model>::setDefaultSearchFactory(nullptr);
  FileSearcher<Model> searcher(0, std::nullopt, {});
  EXPECT_FALSE(searcher.search(platform::URL::fileURLWithPath("/"), FileSearcher<Model>::SerchMode::defaultMode,
                               nullptr, nullptr));
  EXPECT_TRUE(searcher.search(platform::URL::fileURLWithPath("/nowhere"), FileSearcher<Model>::SerchMode::spotlight,
                              nullptr, nullptr));
}

}  // namespace
}  // namespace vozi
