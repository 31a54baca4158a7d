#pragma once

#include <functional>
#include <memory>

#include "platform/Date.h"
#include "platform/DispatchQueue.h"

namespace vozi {

// Runs one-shot actions at given dates. The timers live on one worker thread
// of the scheduler's own, started by the first schedule or unschedule call;
// each due action is handed to the dispatch queue its caller named, so no
// action ever runs on the worker thread or on the caller's thread during the
// call. A caller that wants a period schedules the next run from its action.
//
// `shared` is the scheduler every service uses and lives for the process.
// Other instances may be made (tests do): destroying one stops its worker
// thread, and its pending actions never run.
class Scheduler {
 public:
  using Action = std::function<void()>;

  // One scheduled action; also the ticket that schedule hands back.
  class ActionHolder {
   public:
    ActionHolder(platform::DispatchQueuePtr queue, platform::Date date, double tolerance, Action action)
        : queue_(std::move(queue)), date_(date), tolerance_(tolerance), action_(std::move(action)) {}

    const platform::DispatchQueuePtr& queue() const { return queue_; }
    platform::Date date() const { return date_; }
    double tolerance() const { return tolerance_; }

   private:
    friend class Scheduler;
    const platform::DispatchQueuePtr queue_;
    const platform::Date date_;
    const double tolerance_;
    const Action action_;
  };
  // Opaque to callers: keep it to unschedule the action. Compared by identity.
  using Ticket = std::shared_ptr<ActionHolder>;

  static Scheduler& shared();

  Scheduler();
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Runs `action` once on `queue` (the default global queue when none is
  // given) at `date`, or at once when the date is not in the future; the
  // immediate dispatch happens before this returns. The action never runs
  // before its date; `tolerance` (seconds) is how late it may run. Waits only
  // until the worker thread has taken the action in.
  Ticket schedule(platform::Date date, double tolerance, platform::DispatchQueuePtr queue, Action action);

  // Stops an action whose time has not come yet: when this returns, it will
  // not run. A ticket whose action has already been handed to its queue, was
  // removed before, or is empty is ignored.
  void unschedule(const Ticket& ticket);

  // True once the worker thread has been started.
  bool hasWorkerThread() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace vozi
