#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <regex>
#include <typeinfo>

#include "common/ApplicationsGroup.h"
#include "common/FileRepresentableGroup.h"
#include "common/MemoryGroup.h"
#include "common/SystemCacheGroup.h"
#include "common/UserCacheGroup.h"
#include "sanitizers/ApplicationsSanitizer.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/FilesSanitizer.h"
#include "sanitizers/SanitizingProcessor.h"
#include "sanitizers/ScanFixture.h"
#include "sanitizers/UserCachesSanitizer.h"
#include "sanitizers/UserLogsGroupSanitizer.h"
#include "support/LogCapture.h"

namespace vozi {
namespace {

using platform::QualityOfService;
using test::FakeUserAgentLink;
using test::LogCapture;
using test::ScanFixture;
using namespace std::chrono_literals;

// Opens when told; operations wait on it.
class Gate {
 public:
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until open or `stop` says so; true when opened.
  template <typename Stop>
  bool wait(const Stop& stop) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return open_ || stop(); });
    return open_;
  }
  void poke() {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

// A group operation that announces 2 units of work, does 1, waits for its
// gate (or its cancellation), then does the other; it keeps the
// sanitizer's contract: (group, false) after a full run, (null, true) when
// cancelled while running.
class GatedOperation : public platform::Operation {
 public:
  GatedOperation(ItemGroupPtr group, SanitizerCompletion completion, SanitizerProgressHandler progress,
                 std::shared_ptr<Gate> gate, std::shared_ptr<std::atomic<int>> runs)
      : group_(std::move(group)),
        completion_(std::move(completion)),
        progress_(std::move(progress)),
        gate_(std::move(gate)),
        runs_(std::move(runs)) {}

  void main() override {
    ++*runs_;
    if (progress_) {
      progress_(0, 2);
      progress_(1, 2);
    }
    const bool opened = gate_->wait([this] { return isCancelled(); });
    if (!opened || isCancelled()) {
      if (completion_) completion_(nullptr, true);
      return;
    }
    if (progress_) progress_(1, 2);
    if (completion_) completion_(group_, false);
  }
  void cancel() override {
    Operation::cancel();
    gate_->poke();
  }

 private:
  ItemGroupPtr group_;
  SanitizerCompletion completion_;
  SanitizerProgressHandler progress_;
  std::shared_ptr<Gate> gate_;
  std::shared_ptr<std::atomic<int>> runs_;
};

class GatedSanitizer : public ISanitizer {
 public:

  GatedSanitizer(ItemGroupPtr group, SanitizerEnvironment environment, std::shared_ptr<Gate> gate,
                 std::shared_ptr<std::atomic<int>> runs, std::shared_ptr<std::atomic<int>> progressHandlersGiven)
      : group_(std::move(group)),
        environment_(std::move(environment)),
        gate_(std::move(gate)),
        runs_(std::move(runs)),
        progressHandlersGiven_(std::move(progressHandlersGiven)) {}

  platform::OperationPtr scan(SanitizerCompletion completion, SanitizerProgressHandler progress) override {
    if (progress) ++*progressHandlersGiven_;
    auto operation = std::make_shared<GatedOperation>(group_, std::move(completion), std::move(progress), gate_, runs_);
    operation->setName(platform::UUID::randomString());
    environment_.operationQueue->addOperation(operation);
    return operation;
  }
  platform::OperationPtr clean(SanitizerCompletion completion, SanitizerProgressHandler progress) override {
    return scan(std::move(completion), std::move(progress));
  }

 private:
  ItemGroupPtr group_;
  SanitizerEnvironment environment_;
  std::shared_ptr<Gate> gate_;
  std::shared_ptr<std::atomic<int>> runs_;
  std::shared_ptr<std::atomic<int>> progressHandlersGiven_;
};

// Everything one request hands back.
struct Outcome {
  std::mutex mutex;
  std::vector<double> fractions;
  std::vector<ItemGroupPtr> partials;
  std::vector<std::pair<std::string, bool>> completions;
  bool completionOnSyncQueue = true;
  std::promise<void> ended;

  SanitizingProcessor::ProgressHandler progress(const std::string* expectedId = nullptr) {
    return [this, expectedId](double fraction, const std::string& id) {
      std::lock_guard lock(mutex);
      if (expectedId && !expectedId->empty()) {
        EXPECT_EQ(id, *expectedId);
      }
      fractions.push_back(fraction);
    };
  }
  SanitizingProcessor::PartialCompletion partial() {
    return [this](const ItemGroupPtr& group) {
      std::lock_guard lock(mutex);
      partials.push_back(group);
    };
  }
  SanitizingProcessor::Completion completion(const std::shared_ptr<platform::DispatchQueue>& queue) {
    return [this, queue](const std::string& id, bool cancelled) {
      std::lock_guard lock(mutex);
      if (!queue->isCurrent()) completionOnSyncQueue = false;
      completions.emplace_back(id, cancelled);
      if (completions.size() == 1) ended.set_value();
    };
  }
  void waitForEnd() {
    ASSERT_EQ(ended.get_future().wait_for(30s), std::future_status::ready);
    // The completion signals while it holds the lock: once this thread has
    // had the lock too, the completion is done with this outcome, which may
    // then go.
    std::lock_guard lock(mutex);
  }
  std::size_t fractionCount() {
    std::lock_guard lock(mutex);
    return fractions.size();
  }
};

class SanitizingProcessorTest : public ::testing::Test, public ScanFixture {
 protected:
  std::shared_ptr<platform::DispatchQueue> syncQueue = platform::DispatchQueue::serial("processor tests sync");
  std::unique_ptr<SanitizingProcessor> processor = std::make_unique<SanitizingProcessor>(syncQueue);
  std::shared_ptr<Gate> gate = std::make_shared<Gate>();
  std::shared_ptr<std::atomic<int>> runs = std::make_shared<std::atomic<int>>(0);
  // How many of the gated sanitizers were handed a progress handler.
  std::shared_ptr<std::atomic<int>> progressHandlersGiven = std::make_shared<std::atomic<int>>(0);

  // Memory groups get gated operations.
  void gateMemoryGroups() {
    processor->sanitizerChoice().registerSanitizer(
        SanitizerChoice::Row::memory,
        [gate = gate, runs = runs, given = progressHandlersGiven](const ItemGroupPtr& group,
                                                                  const SanitizerEnvironment& environment) {
          return std::make_unique<GatedSanitizer>(group, environment, gate, runs, given);
        });
  }
  static std::vector<ItemGroupPtr> memoryGroups(int count) {
    std::vector<ItemGroupPtr> groups;
    for (int i = 0; i < count; ++i) groups.push_back(ItemGroup::group(ItemGroupName::memory));
    return groups;
  }
  static void waitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 3000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(condition());
  }
  // Lets the sync queue run what was dispatched before now.
  void drainSyncQueue() const {
    syncQueue->sync([] {});
  }
};

TEST_F(SanitizingProcessorTest, AScanReportsEachGroupRisingFractionsAndEndsOnTheGivenQueue) {
  tree.addFile("/System/Library/Caches/com.x.system/a", 100)
      .addFile("/System/Library/Caches/empty", 0)
      .addFile("/System/Library/Caches/Tool.app/Contents/.hidden", 7)
      .addFile("/System/Library/Caches/Tool.app/Contents/x", 5)
      .addFile("/Users/bob/Library/Caches/com.x.tool/b", 30)
      .addSymlink("/Users/bob/Library/Caches/ln", "/etc/passwd")
      .addFile("/Users/bob/Library/Caches/DIV.EZ.IRU/inside", 20);
  for (int i = 0; i < 40; ++i) tree.addFile("/Users/bob/Library/Caches/many/f" + std::to_string(i), 1);
  processor->setUserAgentLink(std::make_shared<FakeUserAgentLink>(caches()));
  auto systemCache = ItemGroup::group(ItemGroupName::systemCache);
  auto userCache = ItemGroup::group(ItemGroupName::userCache);
  auto plain = std::make_shared<ItemGroup>("plain", 0, nullptr, std::nullopt, nullptr, nullptr);

  Outcome outcome;
  std::string id;
  id = processor->startScanning({systemCache, userCache, plain}, QualityOfService::userInitiated,
                                outcome.progress(&id), outcome.partial(), outcome.completion(syncQueue));
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));
  outcome.waitForEnd();
  drainSyncQueue();

  std::lock_guard lock(outcome.mutex);
  ASSERT_EQ(outcome.completions, (std::vector<std::pair<std::string, bool>>{{id, false}}));
  EXPECT_TRUE(outcome.completionOnSyncQueue);
  ASSERT_EQ(outcome.partials.size(), 2u);
  EXPECT_TRUE(std::find(outcome.partials.begin(), outcome.partials.end(), systemCache) != outcome.partials.end());
  EXPECT_TRUE(std::find(outcome.partials.begin(), outcome.partials.end(), userCache) != outcome.partials.end());

  const auto system = files(*systemCache);
  EXPECT_EQ(system.at(tree.host("/System/Library/Caches/com.x.system/a")), 100u);
  EXPECT_EQ(system.at(tree.host("/System/Library/Caches/Tool.app")), 12u);  // whole, hidden file counted
  EXPECT_FALSE(system.contains(tree.host("/System/Library/Caches/empty")));
  const auto user = files(*userCache);
  EXPECT_EQ(user.at(caches() + "/com.x.tool/b"), 30u);
  EXPECT_EQ(user.at(caches() + "/ln"), std::string("/etc/passwd").size());  // the link itself
  for (const auto& [path, size] : user) EXPECT_EQ(path.find("DIV.EZ.IRU"), std::string::npos) << path;
  EXPECT_EQ(user.size(), 2u + 40u);
  EXPECT_EQ(plain->count(), 0u);

  ASSERT_FALSE(outcome.fractions.empty());
  EXPECT_TRUE(std::is_sorted(outcome.fractions.begin(), outcome.fractions.end()));
  EXPECT_DOUBLE_EQ(outcome.fractions.back(), 1.0);
  EXPECT_EQ(processor->pendingRequestCount(), 0u);  // the entry goes once the end is delivered
}

TEST_F(SanitizingProcessorTest, AnEmptyRequestEndsAtOnceWithFalse) {
  Outcome outcome;
  const std::string id = processor->startScanning({}, QualityOfService::userInitiated, outcome.progress(),
                                                  outcome.partial(), outcome.completion(syncQueue));
  outcome.waitForEnd();
  drainSyncQueue();
  std::lock_guard lock(outcome.mutex);
  EXPECT_EQ(outcome.completions, (std::vector<std::pair<std::string, bool>>{{id, false}}));
  EXPECT_TRUE(outcome.partials.empty());
  EXPECT_TRUE(outcome.fractions.empty());
}

// A group with no operation (here a plain group) must not silence the
// request's progress: only the operations queued are waited for.
TEST_F(SanitizingProcessorTest, AGroupWithoutOperationLeavesTheOthersProgressGoing) {
  gateMemoryGroups();
  auto groups = memoryGroups(1);
  groups.push_back(std::make_shared<ItemGroup>("plain", 0, nullptr, std::nullopt, nullptr, nullptr));
  groups.push_back(ItemGroup::group(ItemGroupName::bigFiles));  // its row has nothing registered here
  Outcome outcome;
  processor->startScanning(groups, QualityOfService::userInitiated, outcome.progress(), outcome.partial(),
                           outcome.completion(syncQueue));
  waitUntil([&] { return outcome.fractionCount() == 1; });
  gate->open();
  outcome.waitForEnd();
  std::lock_guard lock(outcome.mutex);
  EXPECT_EQ(outcome.fractions, (std::vector<double>{0.5, 1.0}));
  EXPECT_EQ(outcome.partials, (std::vector<ItemGroupPtr>{groups[0]}));
}

TEST_F(SanitizingProcessorTest, ARequestWithoutAProgressHandlerGivesNoneToItsSanitizers) {
  gateMemoryGroups();
  gate->open();
  for (const bool withProgress : {false, true}) {
    Outcome outcome;
    processor->startScanning(memoryGroups(2), QualityOfService::userInitiated,
                             withProgress ? outcome.progress() : nullptr, outcome.partial(),
                             outcome.completion(syncQueue));
    outcome.waitForEnd();
    EXPECT_EQ(progressHandlersGiven->load(), withProgress ? 2 : 0);
  }
}

TEST_F(SanitizingProcessorTest, OtherRequestsAndUnknownCancelsLeaveARunningRequestsProgressGoing) {
  gateMemoryGroups();
  Outcome running;
  const std::string id = processor->startScanning(memoryGroups(2), QualityOfService::userInitiated,
                                                  running.progress(), running.partial(), running.completion(syncQueue));
  waitUntil([&] {  // both halfway: 2 of 4
    std::lock_guard lock(running.mutex);
    return !running.fractions.empty() && running.fractions.back() == 0.5;
  });

  Outcome other;
  auto otherGroup = ItemGroup::group(ItemGroupName::systemLogs);
  processor->startScanning({otherGroup}, QualityOfService::userInitiated, other.progress(), other.partial(),
                           other.completion(syncQueue));
  other.waitForEnd();
  std::promise<bool> reply;
  processor->cancel("00000000-0000-0000-0000-000000000000", [&reply](bool value) { reply.set_value(value); });
  EXPECT_TRUE(reply.get_future().get());

  gate->open();
  running.waitForEnd();
  drainSyncQueue();
  std::lock_guard lock(running.mutex);
  // 0.25 comes first when one operation announced itself before the other.
  ASSERT_GE(running.fractions.size(), 3u);
  EXPECT_EQ(std::vector<double>(running.fractions.end() - 3, running.fractions.end()),
            (std::vector<double>{0.5, 0.75, 1.0}));
  EXPECT_EQ(running.completions, (std::vector<std::pair<std::string, bool>>{{id, false}}));
  EXPECT_EQ(running.partials.size(), 2u);
}

TEST_F(SanitizingProcessorTest, CancellingEndsTheRequestOnceAndItsUnstartedOperationNeverRuns) {
  gateMemoryGroups();
  LogCapture log;
  Outcome outcome;
  const std::string id = processor->startScanning(memoryGroups(5), QualityOfService::userInitiated,
                                                  outcome.progress(), outcome.partial(), outcome.completion(syncQueue));
  waitUntil([&] { return runs->load() == 4; });  // four run, the fifth waits for a place
  std::promise<bool> reply;
  processor->cancel(id, [&reply](bool value) { reply.set_value(value); });
  EXPECT_TRUE(reply.get_future().get());
  outcome.waitForEnd();
  processor->operationQueue()->waitUntilAllOperationsAreFinished();
  drainSyncQueue();

  EXPECT_EQ(runs->load(), 4);
  std::lock_guard lock(outcome.mutex);
  EXPECT_EQ(outcome.completions, (std::vector<std::pair<std::string, bool>>{{id, true}}));
  EXPECT_EQ(outcome.partials, std::vector<ItemGroupPtr>(4, nullptr));  // the running ones, with no group
  EXPECT_TRUE(outcome.fractions.empty());  // the fifth never announced itself
  EXPECT_EQ(processor->pendingRequestCount(), 0u);
  const auto messages = log.messages();
  EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const std::string& line) {
    return line.find("cancelling operatoinID:" + id) != std::string::npos;
  }));
  EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const std::string& line) {
    return line.find("operation with id: " + id + " cancelled | scanning") != std::string::npos;
  }));
}

TEST(SanitizingProcessorActionTest, CancelLetsTheCompletionOperationGoAndCancelsWhatWasHeld) {
  using Action = SanitizingProcessorAction;
  auto queue = std::make_shared<platform::OperationQueue>();
  Action action("ID", Action::ActionType::scanning, queue);
  auto completion = platform::BlockOperation::make([] {});
  action.setCompletionOperation(completion);
  auto first = platform::BlockOperation::make([] {});
  auto second = platform::BlockOperation::make([] {});
  action.addOperation("0", first);
  action.addOperation("1", second);
  EXPECT_EQ(completion->dependencies().size(), 2u);

  action.cancel();
  EXPECT_TRUE(action.isCanceled());
  EXPECT_TRUE(first->isCancelled());
  EXPECT_TRUE(second->isCancelled());
  EXPECT_TRUE(completion->dependencies().empty());
  EXPECT_FALSE(completion->isCancelled());
  EXPECT_EQ(action.operationCount(), 0u);
  action.cancel();  // again: only the flag, still set
  EXPECT_TRUE(action.isCanceled());

  queue->addOperation(completion);
  completion->waitUntilFinished();
  EXPECT_NE(Action::ActionType::scanning, Action::ActionType::cleaning);
}

class RecordingConfigurator : public IScanningConfigurator {
 public:
  void sanitizingProcessor(SanitizingProcessor&, IModelItem& group) override { configured.push_back(&group); }
  std::vector<const IModelItem*> configured;
};

class RecordingScopeSource : public ICleaningScopeSource {
 public:
  std::shared_ptr<const CleaningScope> cleaningScope(const ItemGroupPtr& group) override {
    asked.push_back(group.get());
    return nullptr;
  }
  std::vector<const ItemGroup*> asked;
};

TEST_F(SanitizingProcessorTest, QualityOfServiceLimitsConfiguratorAndScopesFollowTheRequestKind) {
  auto configurator = std::make_shared<RecordingConfigurator>();
  auto scopes = std::make_shared<RecordingScopeSource>();
  processor->setScanningConfigurator(configurator);
  processor->setCleaningScopeSource(scopes);
  const auto& queue = processor->operationQueue();
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 4);

  const std::vector<ItemGroupPtr> groups = {ItemGroup::group(ItemGroupName::systemLogs),
                                            ItemGroup::group(ItemGroupName::memory),
                                            ItemGroup::group(ItemGroupName::temporaryFiles)};
  const auto runAndWait = [&](const std::function<void(SanitizingProcessor::Completion)>& start) {
    Outcome outcome;
    start(outcome.completion(syncQueue));
    outcome.waitForEnd();
  };
  runAndWait([&](auto completion) {
    processor->startScanning(groups, QualityOfService::background, nullptr, nullptr, std::move(completion));
  });
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 1);
  EXPECT_EQ(configurator->configured,
            (std::vector<const IModelItem*>{groups[0].get(), groups[1].get(), groups[2].get()}));
  EXPECT_TRUE(scopes->asked.empty());

  runAndWait([&](auto completion) { processor->startCleaning(groups, nullptr, nullptr, std::move(completion)); });
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 1);  // a clean leaves the limit alone
  EXPECT_EQ(queue->qualityOfService(), QualityOfService::userInitiated);
  EXPECT_EQ(configurator->configured.size(), 3u);  // never for a clean
  EXPECT_EQ(scopes->asked, (std::vector<const ItemGroup*>{groups[0].get(), groups[1].get(), groups[2].get()}));

  configurator.reset();  // held weakly: gone is skipped
  runAndWait([&](auto completion) {
    processor->startScanning(groups, QualityOfService::userInitiated, nullptr, nullptr, std::move(completion));
  });
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 4);
}

TEST_F(SanitizingProcessorTest, EveryGroupClassFindsItsRowAndOnlyARegisteredRowMakesASanitizer) {
  using Row = SanitizerChoice::Row;
  struct Case {
    ItemGroupPtr group;
    std::optional<Row> row;
    const std::type_info* sanitizer;  // null: none
  };
  const Case cases[] = {
      {ItemGroup::group(ItemGroupName::memory), Row::memory, nullptr},
      {ItemGroup::group(ItemGroupName::duplicates), Row::duplicates, nullptr},
      {ItemGroup::group(ItemGroupName::applications), Row::applications, &typeid(ApplicationsSanitizer)},
      {ItemGroup::group(ItemGroupName::shredder), Row::shredder, nullptr},
      {ItemGroup::group(ItemGroupName::systemLanguages), Row::languages, nullptr},
      {ItemGroup::group(ItemGroupName::applicationsLanguages), Row::languages, nullptr},
      {ItemGroup::group(ItemGroupName::bigFiles), Row::bigFiles, nullptr},  // never the generic file row
      {ItemGroup::group(ItemGroupName::trashBin), Row::trashBin, nullptr},
      {ItemGroup::group(ItemGroupName::userLogs), Row::userLogs, &typeid(UserLogsGroupSanitizer)},
      {ItemGroup::group(ItemGroupName::userCache), Row::userCache, &typeid(UserCachesSanitizer)},
      {ItemGroup::group(ItemGroupName::mailAttachments), Row::mailAttachments, nullptr},
      {ItemGroup::group(ItemGroupName::systemCache), Row::fileRepresentable,
       &typeid(FilesSanitizer<FileRepresentableGroup>)},
      {ItemGroup::group(ItemGroupName::systemLogs), Row::fileRepresentable,
       &typeid(FilesSanitizer<FileRepresentableGroup>)},
      {ItemGroup::group(ItemGroupName::temporaryFiles), Row::fileRepresentable,
       &typeid(FilesSanitizer<FileRepresentableGroup>)},
      {std::make_shared<ItemGroup>("plain", 0, nullptr, std::nullopt, nullptr, nullptr), std::nullopt, nullptr},
  };
  SanitizerChoice choice;
  const SanitizerEnvironment environment{queue, nullptr, nullptr};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group->description());
    EXPECT_EQ(SanitizerChoice::row(*c.group), c.row);
    const auto sanitizer = choice.sanitizer(c.group, environment);
    if (!c.sanitizer) {
      EXPECT_FALSE(sanitizer);
    } else {
      ASSERT_TRUE(sanitizer);
      EXPECT_EQ(typeid(*sanitizer), *c.sanitizer);
    }
  }

  // A registered row serves its groups, and only its own.
  choice.registerSanitizer(Row::bigFiles, [](const ItemGroupPtr& group, const SanitizerEnvironment& environment) {
    return BaseSanitizer<FileRepresentableGroup>::make<FilesSanitizer<FileRepresentableGroup>>(group, environment);
  });
  EXPECT_TRUE(choice.sanitizer(ItemGroup::group(ItemGroupName::bigFiles), environment));
  EXPECT_FALSE(choice.sanitizer(ItemGroup::group(ItemGroupName::mailAttachments), environment));
}

}  // namespace
}  // namespace vozi
