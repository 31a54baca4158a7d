#include "platform/DispatchQueue.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Fatal.h"

namespace vozi::platform {

namespace {

constexpr auto kIdleTimeout = std::chrono::seconds(5);
constexpr int kMaxConcurrentThreads = 512;

// The queues whose blocks the current thread is running, innermost last.
// A sync carries the caller's list over to the block it runs.
thread_local std::vector<const DispatchQueue::Impl*> tCurrentQueues;

struct QueueScope {
  std::vector<const DispatchQueue::Impl*> saved;
  QueueScope(const std::vector<const DispatchQueue::Impl*>& inherited, const DispatchQueue::Impl* queue) {
    saved = std::move(tCurrentQueues);
    tCurrentQueues = inherited;
    tCurrentQueues.push_back(queue);
  }
  ~QueueScope() { tCurrentQueues = std::move(saved); }
};

void nameThisThread(const std::string& label) {
  // Linux keeps 15 characters of a thread name; the end of a label says most.
  std::string name = label.size() > 15 ? label.substr(label.size() - 15) : label;
  pthread_setname_np(pthread_self(), name.c_str());
}

}  // namespace

struct DispatchQueue::Impl : std::enable_shared_from_this<DispatchQueue::Impl> {
  struct Item {
    Block block;
    std::vector<const Impl*> inherited;
  };

  Kind kind;
  std::string label;
  QualityOfService qos;

  std::mutex mutex;
  std::condition_variable wake;       // idle workers
  std::condition_variable timerWake;  // the timer thread
  std::condition_variable drained;
  std::deque<Item> items;
  std::multimap<Clock::time_point, Block> timed;
  int threads = 0;
  int idle = 0;
  bool stopping = false;
  bool timerRunning = false;

  Impl(Kind k, std::string l, QualityOfService q) : kind(k), label(std::move(l)), qos(q) {}

  int maxThreads() const { return kind == Kind::serial ? 1 : kMaxConcurrentThreads; }

  // Called with the mutex held after an item was queued.
  // An idle worker takes one waiting item; one that was woken but has not
  // run yet still counts as idle, so only the items beyond the idle workers
  // need threads of their own.
  void startWorkerIfNeeded(std::unique_lock<std::mutex>&) {
    if (idle > 0) wake.notify_one();
    if (items.size() <= static_cast<std::size_t>(idle) || threads >= maxThreads()) return;
    ++threads;
    std::thread([self = shared_from_this()] { self->work(); }).detach();
  }

  bool enqueue(Item item) {
    std::unique_lock lock(mutex);
    if (stopping) return false;
    items.push_back(std::move(item));
    startWorkerIfNeeded(lock);
    return true;
  }

  void work() {
    nameThisThread(label);
    std::unique_lock lock(mutex);
    for (;;) {
      if (items.empty()) {
        if (stopping) break;
        ++idle;
        const bool woke = wake.wait_for(lock, kIdleTimeout, [&] { return !items.empty() || stopping; });
        --idle;
        if (!woke) break;
        continue;
      }
      Item item = std::move(items.front());
      items.pop_front();
      lock.unlock();
      {
        QueueScope scope(item.inherited, this);
        item.block();
        // The block's captures go while this thread still counts as one of
        // the queue's: they may hold the last reference to the queue, whose
        // destruction must then not wait for this very thread.
        item.block = nullptr;
      }
      item = {};
      lock.lock();
    }
    --threads;
    drained.notify_all();
  }

  // One timer thread per queue that has delayed blocks; it moves each block
  // onto the queue when its deadline passes.
  void schedule(Clock::time_point deadline, Block block) {
    std::unique_lock lock(mutex);
    if (stopping) return;
    timed.emplace(deadline, std::move(block));
    if (!timerRunning) {
      timerRunning = true;
      std::thread([self = shared_from_this()] { self->runTimer(); }).detach();
    } else {
      timerWake.notify_one();
    }
  }

  void runTimer() {
    nameThisThread(label + ".t");
    std::unique_lock lock(mutex);
    while (!stopping) {
      if (timed.empty()) {
        if (!timerWake.wait_for(lock, kIdleTimeout, [&] { return !timed.empty() || stopping; })) break;
        continue;
      }
      auto first = timed.begin();
      if (first->first > Clock::now()) {
        timerWake.wait_until(lock, first->first);
        continue;
      }
      items.push_back(Item{std::move(first->second), {}});
      timed.erase(first);
      startWorkerIfNeeded(lock);
    }
    timerRunning = false;
    drained.notify_all();
  }

  void shutdown() {
    // Pending delayed blocks are dropped after the lock is released: their
    // captures' destructors may do anything, queue work on this queue too.
    std::multimap<Clock::time_point, Block> dropped;
    std::unique_lock lock(mutex);
    stopping = true;
    dropped.swap(timed);
    wake.notify_all();
    timerWake.notify_all();
    // A block of this queue may drop the last reference to it; that thread
    // cannot wait for itself.
    const bool onOwnThread = std::find(tCurrentQueues.begin(), tCurrentQueues.end(), this) != tCurrentQueues.end();
    const int remaining = onOwnThread ? 1 : 0;
    drained.wait(lock, [&] { return threads <= remaining && !timerRunning; });
  }
};

DispatchQueue::DispatchQueue(Kind kind, std::string label, QualityOfService qos)
    : impl_(std::make_shared<Impl>(kind, std::move(label), qos)) {}

DispatchQueue::~DispatchQueue() { impl_->shutdown(); }

std::shared_ptr<DispatchQueue> DispatchQueue::serial(std::string label, QualityOfService qos) {
  return std::make_shared<DispatchQueue>(Kind::serial, std::move(label), qos);
}

std::shared_ptr<DispatchQueue> DispatchQueue::concurrent(std::string label, QualityOfService qos) {
  return std::make_shared<DispatchQueue>(Kind::concurrent, std::move(label), qos);
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(QualityOfService qos) {
  static constexpr std::pair<QualityOfService, const char*> kNames[] = {
      {QualityOfService::background, "background"},
      {QualityOfService::utility, "utility"},
      {QualityOfService::defaultQoS, "default"},
      {QualityOfService::userInitiated, "user-initiated"},
      {QualityOfService::userInteractive, "user-interactive"},
  };
  static const auto queues = [] {
    // Deliberately never destroyed: blocks may still run while the process exits.
    auto* all = new std::vector<std::shared_ptr<DispatchQueue>>;
    for (const auto& [level, name] : kNames)
      all->push_back(concurrent(std::string("global.") + name + "-qos", level));
    return all;
  }();
  for (std::size_t i = 0; i < std::size(kNames); ++i)
    if (kNames[i].first == qos) return (*queues)[i];
  return (*queues)[2];
}

std::optional<QualityOfService> qualityOfServiceFromRawValue(int raw) {
  for (const QualityOfService level : {QualityOfService::background, QualityOfService::utility,
                                       QualityOfService::defaultQoS, QualityOfService::userInitiated,
                                       QualityOfService::userInteractive})
    if (rawValue(level) == raw) return level;
  return std::nullopt;
}

const std::string& DispatchQueue::label() const { return impl_->label; }
DispatchQueue::Kind DispatchQueue::kind() const { return impl_->kind; }
QualityOfService DispatchQueue::qualityOfService() const { return impl_->qos; }

void DispatchQueue::async(Block block) { impl_->enqueue(Impl::Item{std::move(block), {}}); }

void DispatchQueue::sync(const Block& block) {
  if (impl_->kind == Kind::serial && isCurrent()) {
    fatalStop("DispatchQueue.sync onto serial queue \"" + impl_->label +
              "\" from a block already running on it: deadlock");
  }
  if (impl_->kind == Kind::concurrent) {
    // A concurrent queue puts no order on its blocks: run it right here.
    QueueScope scope(tCurrentQueues, impl_.get());
    block();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  if (!impl_->enqueue(Impl::Item{[&] {
                              try {
                                block();
                                done.set_value();
                              } catch (...) {
                                done.set_exception(std::current_exception());
                              }
                            },
                            tCurrentQueues})) {
    fatalStop("DispatchQueue.sync onto queue \"" + impl_->label + "\" while it is being destroyed");
  }
  finished.get();
}

void DispatchQueue::asyncAfter(Clock::time_point deadline, Block block) {
  if (deadline <= Clock::now()) {
    async(std::move(block));
    return;
  }
  impl_->schedule(deadline, std::move(block));
}

bool DispatchQueue::isCurrent() const {
  return std::find(tCurrentQueues.begin(), tCurrentQueues.end(), impl_.get()) != tCurrentQueues.end();
}

std::string DispatchQueue::currentLabel() {
  return tCurrentQueues.empty() ? std::string() : tCurrentQueues.back()->label;
}

}  // namespace vozi::platform
