#include "common/Scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Canceler.h"
#include "platform/DispatchSemaphore.h"

namespace vozi {
namespace {

using platform::Date;
using platform::DispatchQueue;
using platform::DispatchSemaphore;

constexpr auto kGenerous = std::chrono::seconds(20);

Date inSeconds(double seconds) { return Date::now().addingTimeInterval(seconds); }

// Records what ran, in order, and on which queue.
struct Journal {
  std::mutex mutex;
  std::vector<std::string> entries;
  void add(std::string entry) {
    std::lock_guard lock(mutex);
    entries.push_back(std::move(entry));
  }
  std::vector<std::string> snapshot() {
    std::lock_guard lock(mutex);
    return entries;
  }
};

class SchedulerTest : public ::testing::Test {
 protected:
  // Destroyed in reverse: the scheduler drops what is pending, then the
  // queue finishes what it was given, and only then the journal goes.
  Journal journal;
  DispatchSemaphore done;
  std::shared_ptr<DispatchQueue> queue = DispatchQueue::serial("test.scheduler.queue");
  Scheduler scheduler;

  // An action that writes its name and its queue's label to the journal.
  Scheduler::Action record(const std::string& name) {
    return [this, name] { journal.add(name + "@" + DispatchQueue::currentLabel()); };
  }
  // A last action on the same serial queue, due after everything before it:
  // once it has run, everything that was going to run before it has.
  void scheduleSentinelAndWait(double seconds) {
    scheduler.schedule(inSeconds(seconds), 0, queue, [this] {
      journal.add("sentinel");
      done.signal();
    });
    ASSERT_TRUE(done.wait(kGenerous));
  }
};

TEST_F(SchedulerTest, ActionRunsOnceOnTheNamedQueue) {
  const auto callingThread = std::this_thread::get_id();
  std::atomic<bool> ranOnCallingThread{false};
  scheduler.schedule(inSeconds(0.05), 0, queue, [&, this] {
    ranOnCallingThread = std::this_thread::get_id() == callingThread;
    journal.add("a@" + DispatchQueue::currentLabel());
  });
  scheduleSentinelAndWait(0.1);
  EXPECT_EQ(journal.snapshot(), (std::vector<std::string>{"a@test.scheduler.queue", "sentinel"}));
  EXPECT_FALSE(ranOnCallingThread);
}

TEST_F(SchedulerTest, UnscheduledActionNeverRuns) {
  auto ticket = scheduler.schedule(inSeconds(0.05), 0, queue, record("cancelled"));
  scheduler.unschedule(ticket);
  scheduler.unschedule(ticket);  // a second time: nothing happens
  scheduleSentinelAndWait(0.1);
  EXPECT_EQ(journal.snapshot(), (std::vector<std::string>{"sentinel"}));
}

TEST_F(SchedulerTest, DateNotInTheFutureRunsAtOnce) {
  // Each is dispatched before schedule returns, so they are on the queue
  // ahead of the sentinel even though the sentinel is due immediately too.
  auto past = scheduler.schedule(inSeconds(-10), 0, queue, record("past"));
  auto now = scheduler.schedule(Date::now(), 0, queue, record("now"));
  auto distantPast = scheduler.schedule(Date::distantPast(), 0, queue, record("distantPast"));
  scheduler.unschedule(past);  // too late: already on its queue
  scheduleSentinelAndWait(-1);
  EXPECT_EQ(journal.snapshot(),
            (std::vector<std::string>{"past@test.scheduler.queue", "now@test.scheduler.queue",
                                      "distantPast@test.scheduler.queue", "sentinel"}));
  (void)now;
  (void)distantPast;
}

TEST_F(SchedulerTest, ActionsRunInDateOrderWhateverTheOrderOfScheduling) {
  scheduler.schedule(inSeconds(0.15), 0, queue, record("third"));
  scheduler.schedule(inSeconds(0.05), 0, queue, record("first"));
  scheduler.schedule(inSeconds(0.1), 0, queue, record("second"));
  auto removed = scheduler.schedule(inSeconds(0.1), 0, queue, record("removed"));
  scheduler.unschedule(removed);
  scheduleSentinelAndWait(0.2);
  EXPECT_EQ(journal.snapshot(),
            (std::vector<std::string>{"first@test.scheduler.queue", "second@test.scheduler.queue",
                                      "third@test.scheduler.queue", "sentinel"}));
}

TEST_F(SchedulerTest, TwoActionsForTheSameDateEachRunOnTheirOwnQueue) {
  auto other = DispatchQueue::serial("test.scheduler.other");
  DispatchSemaphore both;
  const Date date = inSeconds(0.05);
  scheduler.schedule(date, 0, queue, [&] {
    journal.add("a@" + DispatchQueue::currentLabel());
    both.signal();
  });
  scheduler.schedule(date, 0, other, [&] {
    journal.add("b@" + DispatchQueue::currentLabel());
    both.signal();
  });
  ASSERT_TRUE(both.wait(kGenerous));
  ASSERT_TRUE(both.wait(kGenerous));
  // Later sentinels on both queues: neither action ran a second time.
  DispatchSemaphore sentinels;
  scheduler.schedule(inSeconds(0.1), 0, queue, [&] { sentinels.signal(); });
  scheduler.schedule(inSeconds(0.1), 0, other, [&] { sentinels.signal(); });
  ASSERT_TRUE(sentinels.wait(kGenerous));
  ASSERT_TRUE(sentinels.wait(kGenerous));
  auto entries = journal.snapshot();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"a@test.scheduler.queue", "b@test.scheduler.other"}));
}

TEST_F(SchedulerTest, AnActionCanScheduleItsNextRun) {
  std::atomic<int> runs{0};
  std::function<void()> step = [&] {
    if (++runs < 3)
      scheduler.schedule(inSeconds(0.01), 0, queue, step);
    else
      done.signal();
  };
  scheduler.schedule(inSeconds(0.01), 0, queue, step);
  ASSERT_TRUE(done.wait(kGenerous));
  EXPECT_EQ(runs, 3);
}

TEST_F(SchedulerTest, FarDatesStayPendingAndCanBeRemoved) {
  auto farAway = scheduler.schedule(Date::distantFuture(), 0, queue, record("distantFuture"));
  auto infinite = scheduler.schedule(Date(std::numeric_limits<double>::infinity()), 3600, queue, record("infinite"));
  scheduleSentinelAndWait(0.01);
  scheduler.unschedule(farAway);
  scheduler.unschedule(infinite);
  EXPECT_EQ(journal.snapshot(), (std::vector<std::string>{"sentinel"}));
}

TEST_F(SchedulerTest, MissingQueueFallsBackToTheGlobalQueue) {
  scheduler.schedule(inSeconds(0.01), 0, nullptr, [&] { done.signal(); });
  EXPECT_TRUE(done.wait(kGenerous));
}

TEST(SchedulerLifecycleTest, UnscheduleBeforeAnyScheduleStartsTheWorkerAndDoesNothingElse) {
  Scheduler scheduler;
  EXPECT_FALSE(scheduler.hasWorkerThread());
  scheduler.unschedule(nullptr);
  EXPECT_TRUE(scheduler.hasWorkerThread());
  auto stranger = std::make_shared<Scheduler::ActionHolder>(nullptr, Date::now(), 0, [] {});
  scheduler.unschedule(stranger);  // never scheduled here: ignored
}

TEST(SchedulerLifecycleTest, FirstUseFromManyThreadsAtOnceStartsOneWorker) {
  constexpr int kThreads = 16;
  Scheduler scheduler;
  auto queue = DispatchQueue::concurrent("test.scheduler.race");
  DispatchSemaphore ran;
  std::atomic<int> runs{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      while (!go) std::this_thread::yield();
      scheduler.schedule(inSeconds(0.01), 0, queue, [&] {
        ++runs;
        ran.signal();
      });
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) ASSERT_TRUE(ran.wait(kGenerous));
  EXPECT_EQ(runs, kThreads);
}

TEST(SchedulerLifecycleTest, DestroyingASchedulerDropsItsPendingActions) {
  auto queue = DispatchQueue::serial("test.scheduler.drop");
  auto witness = std::make_shared<int>(0);
  std::weak_ptr<int> watch = witness;
  {
    Scheduler scheduler;
    scheduler.schedule(inSeconds(3600), 0, queue, [witness] { ++*witness; });
    witness.reset();
    EXPECT_FALSE(watch.expired());  // held by the pending action
  }
  // The action, and what it held, is gone: it can never run.
  EXPECT_TRUE(watch.expired());
}

TEST(SchedulerLifecycleTest, DestroyingAnUnusedSchedulerStartsNothing) {
  Scheduler scheduler;
  EXPECT_FALSE(scheduler.hasWorkerThread());
}

TEST(SchedulerLifecycleTest, SharedIsOneInstanceThatRunsActions) {
  EXPECT_EQ(&Scheduler::shared(), &Scheduler::shared());
  DispatchSemaphore ran;
  auto queue = DispatchQueue::serial("test.scheduler.shared");
  Scheduler::shared().schedule(inSeconds(0.01), 0, queue, [&] { ran.signal(); });
  EXPECT_TRUE(ran.wait(kGenerous));
}

TEST(CancelerTest, WithoutABlockDoesNothing) {
  Canceler canceler;
  canceler.cancel();
  canceler.cancel();
}

TEST(CancelerTest, RunsItsBlockOnTheCallingThreadEachTime) {
  int calls = 0;
  std::thread::id thread;
  Canceler canceler([&] {
    ++calls;
    thread = std::this_thread::get_id();
  });
  Cancelable& handle = canceler;
  handle.cancel();
  handle.cancel();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(thread, std::this_thread::get_id());
}

TEST(CancelerTest, CancelsAScheduledActionThroughTheScheduler) {
  Scheduler scheduler;
  auto queue = DispatchQueue::serial("test.scheduler.canceler");
  Journal journal;
  DispatchSemaphore done;
  auto ticket = scheduler.schedule(inSeconds(0.05), 0, queue, [&] { journal.add("cancelled"); });
  Canceler canceler([&] { scheduler.unschedule(ticket); });
  canceler.cancel();
  scheduler.schedule(inSeconds(0.1), 0, queue, [&] {
    journal.add("sentinel");
    done.signal();
  });
  ASSERT_TRUE(done.wait(kGenerous));
  EXPECT_EQ(journal.snapshot(), (std::vector<std::string>{"sentinel"}));
}

}  // namespace
}  // namespace vozi
