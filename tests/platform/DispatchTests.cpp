#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/DispatchGroup.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"

using namespace vozi::platform;
using namespace std::chrono_literals;

TEST(DispatchQueue, SerialQueueRunsBlocksInOrderOnOneThreadAtATime) {
  auto queue = DispatchQueue::serial("div.ez.iru.test.serial");
  std::vector<int> order;
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  for (int i = 0; i < 200; ++i) {
    queue->async([&, i] {
      if (running.fetch_add(1) != 0) overlapped = true;
      order.push_back(i);
      running.fetch_sub(1);
    });
  }
  queue->sync([] {});
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(overlapped);
}

TEST(DispatchQueue, ConcurrentQueueRunsBlocksThatWaitOnEachOther) {
  // Blocks that wait for a later block must not starve on a fixed pool.
  auto queue = DispatchQueue::concurrent("div.ez.iru.test.concurrent");
  constexpr int kBlocks = 32;
  DispatchSemaphore allStarted(0);
  std::atomic<int> started{0};
  DispatchGroup group;
  for (int i = 0; i < kBlocks; ++i) {
    group.async(queue, [&] {
      if (++started == kBlocks) allStarted.signal();
      allStarted.wait();
      allStarted.signal();
    });
  }
  EXPECT_TRUE(group.wait(30s));
}

TEST(DispatchQueue, IsCurrentAndLabelFollowTheRunningBlockAndSyncChains) {
  auto outer = DispatchQueue::serial("div.ez.iru.test.outer");
  auto inner = DispatchQueue::serial("div.ez.iru.test.inner");
  EXPECT_FALSE(outer->isCurrent());
  bool outerSeenInsideInner = false, innerCurrent = false;
  std::string label;
  outer->sync([&] {
    inner->sync([&] {
      outerSeenInsideInner = outer->isCurrent();
      innerCurrent = inner->isCurrent();
      label = DispatchQueue::currentLabel();
    });
  });
  EXPECT_TRUE(outerSeenInsideInner);
  EXPECT_TRUE(innerCurrent);
  EXPECT_EQ(label, "div.ez.iru.test.inner");
  EXPECT_EQ(DispatchQueue::currentLabel(), "");
}

TEST(DispatchQueueDeathTest, SyncOntoTheSerialQueueItselfAbortsWithAMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto queue = DispatchQueue::serial("div.ez.iru.test.self");
        queue->sync([&] { queue->sync([] {}); });
      },
      "deadlock");
}

TEST(DispatchQueue, SyncResultReturnsTheBlocksValue) {
  auto queue = DispatchQueue::serial("div.ez.iru.test.result");
  EXPECT_EQ(queue->syncResult([] { return 42; }), 42);
}

TEST(DispatchQueue, AsyncAfterFiresInDeadlineOrderAndPastDeadlinesAtOnce) {
  auto queue = DispatchQueue::serial("div.ez.iru.test.after");
  std::vector<int> order;
  DispatchSemaphore done(0);
  queue->asyncAfter(60ms, [&] {
    order.push_back(3);
    done.signal();
  });
  queue->asyncAfter(30ms, [&] { order.push_back(2); });
  queue->asyncAfter(-1s, [&] { order.push_back(1); });
  ASSERT_TRUE(done.wait(10s));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(DispatchQueue, DestructionRunsQueuedBlocksAndDropsPendingTimers) {
  std::atomic<int> ran{0};
  std::atomic<bool> timerRan{false};
  {
    auto queue = DispatchQueue::serial("div.ez.iru.test.destroy");
    for (int i = 0; i < 50; ++i) queue->async([&] { ++ran; });
    queue->asyncAfter(1h, [&] { timerRan = true; });
  }
  EXPECT_EQ(ran.load(), 50);
  EXPECT_FALSE(timerRan.load());
}

TEST(DispatchQueue, ABlockMayReleaseTheLastReferenceToItsOwnQueue) {
  auto queue = DispatchQueue::serial("div.ez.iru.test.self-release");
  DispatchSemaphore released(0);
  auto* holder = new std::shared_ptr<DispatchQueue>(queue);
  queue.reset();
  (*holder)->async([holder, &released] {
    delete holder;
    released.signal();
  });
  EXPECT_TRUE(released.wait(10s));
}

TEST(DispatchGroup, NotifyRunsOnceAllWorkHasLeft) {
  auto queue = DispatchQueue::concurrent("div.ez.iru.test.group");
  auto notifyQueue = DispatchQueue::serial("div.ez.iru.test.notify");
  DispatchGroup group;
  std::atomic<int> finished{0};
  for (int i = 0; i < 10; ++i) group.async(queue, [&] { ++finished; });
  DispatchSemaphore notified(0);
  int seen = -1;
  group.notify(notifyQueue, [&] {
    seen = finished.load();
    notified.signal();
  });
  ASSERT_TRUE(notified.wait(10s));
  EXPECT_EQ(seen, 10);
}

TEST(DispatchSemaphore, WaitTimesOutWithoutASignalAndTakesOneWithIt) {
  DispatchSemaphore semaphore(0);
  EXPECT_FALSE(semaphore.wait(10ms));
  semaphore.signal();
  EXPECT_TRUE(semaphore.wait(10ms));
  EXPECT_FALSE(semaphore.wait(0ms));
}

TEST(DispatchQueue, TheLastReferenceMayGoWithTheCapturesOfItsOwnBlock) {
  // The block does not drop the queue itself: its captures do, once it has
  // run. Destroying the queue then happens on the queue's own thread.
  struct Holder {
    std::shared_ptr<DispatchQueue> queue;
    DispatchSemaphore* released;
    ~Holder() {
      queue.reset();
      released->signal();
    }
  };
  DispatchSemaphore released(0);
  auto queue = DispatchQueue::serial("div.ez.iru.test.capture-release");
  auto holder = std::make_shared<Holder>();
  holder->queue = std::move(queue);
  holder->released = &released;
  DispatchQueue* raw = holder->queue.get();
  raw->async([holder = std::move(holder)] {});
  EXPECT_TRUE(released.wait(30s));
}

TEST(DispatchQueue, ConcurrentQueueGrowsPastItsIdleThreadsForBlocksThatWaitOnEachOther) {
  // Once a round has left idle threads behind, a larger round queued at once
  // must still get a thread per waiting block: a thread that was only just
  // woken does not take more than one of them.
  auto queue = DispatchQueue::concurrent("div.ez.iru.test.regrow");
  for (int blocks = 2; blocks <= 32; blocks *= 2) {
    DispatchSemaphore allStarted(0);
    std::atomic<int> started{0};
    DispatchGroup group;
    for (int i = 0; i < blocks; ++i) {
      group.async(queue, [&, blocks] {
        if (++started == blocks) allStarted.signal();
        allStarted.wait();
        allStarted.signal();
      });
    }
    const bool finished = group.wait(30s);
    EXPECT_TRUE(finished) << blocks << " blocks";
    if (!finished) {
      // Let the stuck blocks go so that the queue can be destroyed.
      for (int i = 0; i < blocks; ++i) allStarted.signal();
      group.wait();
      break;
    }
  }
}

TEST(DispatchQueue, ADroppedDelayedBlockMayTouchItsQueueFromItsCaptures) {
  // Destroying a queue drops its delayed blocks; a capture that queues more
  // work on the dying queue as it goes is refused, not deadlocked.
  struct Touch {
    DispatchQueue* queue = nullptr;
    std::atomic<int>* destroyed = nullptr;
    ~Touch() {
      if (!queue) return;
      queue->async([] {});
      ++*destroyed;
    }
  };
  std::atomic<int> destroyed{0};
  {
    auto queue = DispatchQueue::serial("div.ez.iru.test.dropped-timer");
    auto touch = std::make_shared<Touch>();
    touch->queue = queue.get();
    touch->destroyed = &destroyed;
    queue->asyncAfter(1h, [touch = std::move(touch)] {});
  }
  EXPECT_EQ(destroyed.load(), 1);
}
