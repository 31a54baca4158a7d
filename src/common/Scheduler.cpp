#include "common/Scheduler.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>

namespace vozi {

namespace {

using Clock = std::chrono::steady_clock;

// The longest single wait a timer is armed for. A later date is reached in
// steps of this size, so that a far date (distantFuture) cannot overflow the
// clock's arithmetic and still never runs early.
constexpr double kMaxTimerInterval = 365.0 * 24 * 3600;  // one year

Clock::time_point fireTimeAfter(double seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

struct Scheduler::Impl {
  // A request performed on the worker thread while its caller waits.
  struct Request {
    std::function<void()> body;
    std::promise<void> done;
  };

  // A pending timer. `fireAt` may be an intermediate step towards a far date.
  struct Timer {
    Ticket holder;
    Clock::time_point fireAt;
  };

  std::once_flag workerOnce;
  std::thread worker;
  std::thread::id workerId;

  std::mutex mutex;  // guards requests, stopping, workerId
  std::condition_variable wake;
  std::deque<Request> requests;
  bool stopping = false;

  // Touched only on the worker thread: the table of pending actions keyed by
  // timer, and the timers in firing order.
  std::uint64_t nextTimerId = 0;
  std::map<std::uint64_t, Timer> actions;
  std::multimap<Clock::time_point, std::uint64_t> firingOrder;

  void ensureWorker() {
    std::call_once(workerOnce, [this] {
      std::lock_guard lock(mutex);
      worker = std::thread([this] { run(); });
      workerId = worker.get_id();
    });
  }

  bool onWorker() {
    std::lock_guard lock(mutex);
    return workerId == std::this_thread::get_id();
  }

  // Runs `body` on the worker thread and waits for it. False when the
  // scheduler is being destroyed and the request was dropped.
  bool perform(std::function<void()> body) {
    ensureWorker();
    if (onWorker()) {  // cannot wait for ourselves
      body();
      return true;
    }
    std::future<void> done;
    {
      std::lock_guard lock(mutex);
      if (stopping) return false;
      requests.push_back(Request{std::move(body), {}});
      done = requests.back().done.get_future();
    }
    wake.notify_one();
    done.wait();
    return true;
  }

  void run() {
    std::unique_lock lock(mutex);
    for (;;) {
      if (!requests.empty()) {
        Request request = std::move(requests.front());
        requests.pop_front();
        lock.unlock();
        request.body();
        request.done.set_value();
        lock.lock();
        continue;
      }
      if (stopping) break;
      if (!firingOrder.empty() && firingOrder.begin()->first <= Clock::now()) {
        lock.unlock();
        fireDueTimers();
        lock.lock();
        continue;
      }
      if (firingOrder.empty())
        wake.wait(lock);
      else
        wake.wait_until(lock, firingOrder.begin()->first);
    }
    lock.unlock();
    // Pending actions die with the scheduler.
    firingOrder.clear();
    actions.clear();
  }

  static void dispatch(const ActionHolder& holder) {
    if (holder.action_) holder.queue_->async(holder.action_);
  }

  void arm(Ticket holder) {
    const std::uint64_t id = ++nextTimerId;
    const double interval = std::min(holder->date().timeIntervalSinceNow(), kMaxTimerInterval);
    const Clock::time_point fireAt = fireTimeAfter(interval);
    actions.emplace(id, Timer{std::move(holder), fireAt});
    firingOrder.emplace(fireAt, id);
  }

  // Worker thread.
  void addHolder(const Ticket& holder) {
    const double interval = holder->date().timeIntervalSinceNow();
    if (!(interval > 0)) {  // now, past, or not a date at all
      dispatch(*holder);
      return;
    }
    arm(holder);
  }

  // Worker thread: every timer whose time has come, in firing order.
  void fireDueTimers() {
    const Clock::time_point now = Clock::now();
    while (!firingOrder.empty() && firingOrder.begin()->first <= now) {
      const std::uint64_t id = firingOrder.begin()->second;
      firingOrder.erase(firingOrder.begin());
      auto entry = actions.find(id);
      if (entry == actions.end()) continue;
      Ticket holder = std::move(entry->second.holder);
      actions.erase(entry);
      if (holder->date().timeIntervalSinceNow() > 0) {
        arm(std::move(holder));  // an intermediate step towards a far date
        continue;
      }
      dispatch(*holder);
    }
  }

  // Worker thread.
  void removeHolder(const Ticket& holder) {
    for (auto it = actions.begin(); it != actions.end(); ++it) {
      if (it->second.holder != holder) continue;
      auto range = firingOrder.equal_range(it->second.fireAt);
      for (auto order = range.first; order != range.second; ++order) {
        if (order->second == it->first) {
          firingOrder.erase(order);
          break;
        }
      }
      actions.erase(it);
      return;
    }
  }

  void stop() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    wake.notify_one();
    // Make sure no thread is being created while we look at it.
    std::call_once(workerOnce, [] {});
    if (worker.joinable()) worker.join();
  }
};

Scheduler& Scheduler::shared() {
  // Lives for the process: services schedule work until the very end, so it
  // is never destroyed.
  static Scheduler* const instance = new Scheduler();
  return *instance;
}

Scheduler::Scheduler() : impl_(std::make_unique<Impl>()) {}

Scheduler::~Scheduler() { impl_->stop(); }

Scheduler::Ticket Scheduler::schedule(platform::Date date, double tolerance, platform::DispatchQueuePtr queue,
                                      Action action) {
  if (!queue) queue = platform::DispatchQueue::global();
  if (!(tolerance >= 0)) tolerance = 0;
  auto holder = std::make_shared<ActionHolder>(std::move(queue), date, tolerance, std::move(action));
  impl_->perform([this, holder] { impl_->addHolder(holder); });
  return holder;
}

void Scheduler::unschedule(const Ticket& ticket) {
  impl_->perform([this, &ticket] {
    if (ticket) impl_->removeHolder(ticket);
  });
}

bool Scheduler::hasWorkerThread() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->workerId != std::thread::id();
}

}  // namespace vozi
