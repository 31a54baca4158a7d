#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Operation.h"
#include "platform/OperationQueue.h"

namespace vozi::platform {
namespace {

// Operations that hold their thread until the test lets them go, and a
// record of how many run at once.
class Gate {
 public:
  // Called by an operation: counts it as running and waits for release().
  void pass() {
    std::unique_lock lock(mutex_);
    ++started_;
    ++running_;
    maxRunning_ = std::max(maxRunning_, running_);
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_ > 0 || open_; });
    if (!open_) --released_;
    --running_;
    changed_.notify_all();
  }
  // Lets `count` waiting operations go on (or all, for ever, with open()).
  void release(int count) {
    std::lock_guard lock(mutex_);
    released_ += count;
    changed_.notify_all();
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until `started` operations have passed the gate's door and
  // `running` are held in it.
  void waitFor(int started, int running) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return started_ == started && running_ == running; });
  }
  int resetMaxRunning() {
    std::lock_guard lock(mutex_);
    const int previous = maxRunning_;
    maxRunning_ = running_;
    return previous;
  }
  int maxRunning() const {
    std::lock_guard lock(mutex_);
    return maxRunning_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int started_ = 0;
  int running_ = 0;
  int maxRunning_ = 0;
  int released_ = 0;
  bool open_ = false;
};

class CountingOperation : public Operation {
 public:
  std::atomic<int> runs{0};
  std::function<void()> body;
  void main() override {
    ++runs;
    if (body) body();
  }
};

TEST(OperationQueueTest, DependenciesHoldAnOperationBackUntilTheyFinishOrAreRemoved) {
  OperationQueue queue("test.dependencies");
  Gate gate;
  auto blocker = BlockOperation::make([&] { gate.pass(); });
  auto waitsForBlocker = std::make_shared<CountingOperation>();
  waitsForBlocker->addDependency(blocker);
  auto freed = std::make_shared<CountingOperation>();
  freed->addDependency(blocker);
  EXPECT_FALSE(freed->isReady());

  queue.addOperation(blocker);
  queue.addOperation(waitsForBlocker);
  queue.addOperation(freed);
  gate.waitFor(1, 1);

  // Without its dependency the second one runs while the blocker still holds.
  freed->removeDependency(blocker);
  freed->waitUntilFinished();
  EXPECT_EQ(freed->runs, 1);
  EXPECT_TRUE(freed->dependencies().empty());
  EXPECT_EQ(waitsForBlocker->runs, 0);
  EXPECT_FALSE(waitsForBlocker->isReady());

  gate.open();
  waitsForBlocker->waitUntilFinished();
  EXPECT_EQ(waitsForBlocker->runs, 1);

  // A dependency that had finished before it was added counts as met.
  auto late = std::make_shared<CountingOperation>();
  late->addDependency(blocker);
  late->addDependency(blocker);  // twice: once
  late->addDependency(late);     // itself: ignored
  EXPECT_EQ(late->dependencies().size(), 1u);
  EXPECT_TRUE(late->isReady());
  queue.addOperation(late);
  late->waitUntilFinished();
  EXPECT_EQ(late->runs, 1);
}

TEST(OperationQueueTest, AnOperationCancelledBeforeItStartsNeverRunsAndItsDependentsGoOn) {
  OperationQueue queue("test.cancel");
  queue.setMaxConcurrentOperationCount(1);
  Gate gate;
  auto blocker = BlockOperation::make([&] { gate.pass(); });
  auto cancelled = std::make_shared<CountingOperation>();
  std::atomic<int> completions{0};
  cancelled->setCompletionBlock([&] { ++completions; });
  auto dependent = std::make_shared<CountingOperation>();
  dependent->addDependency(cancelled);

  queue.addOperation(blocker);
  queue.addOperation(cancelled);
  queue.addOperation(dependent);
  gate.waitFor(1, 1);
  cancelled->cancel();
  EXPECT_TRUE(cancelled->isCancelled());
  gate.open();
  queue.waitUntilAllOperationsAreFinished();

  EXPECT_EQ(cancelled->runs, 0);
  EXPECT_TRUE(cancelled->isFinished());
  EXPECT_EQ(completions, 1) << "the completion block still runs";
  EXPECT_EQ(dependent->runs, 1);
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueueTest, TheLimitCanMoveWhileOperationsWait) {
  OperationQueue queue("test.limit");
  queue.setMaxConcurrentOperationCount(4);
  Gate gate;
  for (int i = 0; i < 10; ++i) queue.addOperation([&] { gate.pass(); });
  gate.waitFor(4, 4);
  EXPECT_EQ(queue.operationCount(), 10u);

  // Down to one: the four running finish, then one at a time.
  queue.setMaxConcurrentOperationCount(1);
  EXPECT_EQ(queue.maxConcurrentOperationCount(), 1);
  gate.release(4);
  gate.waitFor(5, 1);
  gate.resetMaxRunning();
  gate.release(1);
  gate.waitFor(6, 1);
  EXPECT_EQ(gate.maxRunning(), 1);

  // Up to four again: three more start at once beside the one running.
  queue.setMaxConcurrentOperationCount(4);
  gate.waitFor(9, 4);
  gate.open();
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_LE(gate.maxRunning(), 4);
}

TEST(OperationQueueTest, TheRunningOperationSeesItsQualityOfServiceChange) {
  OperationQueue queue("test.qos");
  queue.setQualityOfService(QualityOfService::utility);
  Gate gate;
  auto operation = std::make_shared<CountingOperation>();
  std::atomic<QualityOfService> before{QualityOfService::defaultQoS}, after{QualityOfService::defaultQoS};
  operation->body = [&] {
    before = operation->qualityOfService();
    gate.pass();
    after = operation->qualityOfService();
  };
  EXPECT_EQ(operation->qualityOfService(), QualityOfService::defaultQoS);
  queue.addOperation(operation);
  gate.waitFor(1, 1);
  operation->setQualityOfService(QualityOfService::background);
  gate.open();
  operation->waitUntilFinished();
  EXPECT_EQ(before.load(), QualityOfService::utility) << "the queue's own while the operation has none";
  EXPECT_EQ(after.load(), QualityOfService::background);
}

TEST(OperationQueueTest, DestructionCancelsWhatWaitsAndWaitsForWhatRuns) {
  auto queue = std::make_unique<OperationQueue>("test.destruction");
  queue->setMaxConcurrentOperationCount(1);
  Gate gate;
  auto running = std::make_shared<CountingOperation>();
  running->body = [&] { gate.pass(); };
  auto waiting = std::make_shared<CountingOperation>();
  queue->addOperation(running);
  queue->addOperation(waiting);
  gate.waitFor(1, 1);

  std::atomic<bool> destroyed{false};
  std::thread destroyer([&] {
    queue.reset();
    destroyed = true;
  });
  // The destructor cannot return while the running operation holds.
  while (!waiting->isCancelled()) std::this_thread::yield();
  EXPECT_FALSE(destroyed);
  gate.open();
  destroyer.join();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(running->runs, 1);
  EXPECT_TRUE(running->isFinished());
  EXPECT_FALSE(running->isCancelled());
  EXPECT_EQ(waiting->runs, 0);
  EXPECT_TRUE(waiting->isFinished());
}

TEST(OperationQueueTest, ManyOperationsEachRunOnceWithTheirCompletionBeforeTheyCountAsFinished) {
  constexpr int kCount = 10000;
  OperationQueue queue("test.many");
  std::atomic<int> runs{0}, completions{0}, finishedEarly{0};
  std::vector<std::shared_ptr<BlockOperation>> operations;
  for (int i = 0; i < kCount; ++i) {
    auto operation = BlockOperation::make([&] { ++runs; });
    operation->addExecutionBlock([&] { ++runs; });
    std::weak_ptr<BlockOperation> weak = operation;
    operation->setCompletionBlock([&, weak] {
      ++completions;
      if (auto self = weak.lock(); self && self->isFinished()) ++finishedEarly;
    });
    operations.push_back(operation);
    queue.addOperation(operation);
  }
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(runs, 2 * kCount);
  EXPECT_EQ(completions, kCount);
  EXPECT_EQ(finishedEarly, 0);
  for (const auto& operation : operations) ASSERT_TRUE(operation->isFinished());
}

TEST(OperationQueueTest, DependenciesMayCrossQueues) {
  OperationQueue first("test.first"), second("test.second");
  Gate gate;
  auto upstream = BlockOperation::make([&] { gate.pass(); });
  auto downstream = std::make_shared<CountingOperation>();
  downstream->addDependency(upstream);
  second.addOperation(downstream);
  first.addOperation(upstream);
  gate.waitFor(1, 1);
  EXPECT_EQ(downstream->runs, 0);
  gate.open();
  downstream->waitUntilFinished();
  EXPECT_EQ(downstream->runs, 1);
}

}  // namespace
}  // namespace vozi::platform
