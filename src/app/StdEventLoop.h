#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

#include "app/EventLoop.h"
#include "platform/Clock.h"

namespace velmar {

// The event loop of the programs without a widget toolkit, on the standard library: one queue
// under a mutex, a condition variable to wait on, periodic timers timed by a Clock.
//
// The loop's thread is whichever thread runs Run, RunUntil or the stepping calls; handlers are
// called there, never with the loop's lock held, so they may post, start and stop timers, quit
// or run a nested RunUntil. Posts come first; a timer ticks only when no post is waiting, and a
// timer that falls behind (a long modal question) ticks once, not once for every missed period.
//
// Tests drive it without real time: inject a ManualClock, then DispatchPending delivers the
// queued posts and FireDueTimers the ticks that the clock has made due.
class StdEventLoop : public EventLoop {
 public:
  explicit StdEventLoop(Clock& clock = SystemClock());
  StdEventLoop(const StdEventLoop&) = delete;
  StdEventLoop& operator=(const StdEventLoop&) = delete;
  ~StdEventLoop() override;

  void Post(uint32_t message, int32_t event, int32_t value) override;
  // Posts queued for a handler that is removed before they are delivered are dropped. Change
  // it on the loop's thread (or before the loop runs): a delivery in progress keeps using the
  // handler it started with.
  void SetHandler(EventHandler* handler) override;
  // A period of 0 is taken as 1 ms.
  void StartTimer(int timer_id, uint32_t period_ms) override;
  void StopTimer(int timer_id) override;
  bool IsTimerRunning(int timer_id) const override;
  // Dispatches until Quit. A Quit made while no loop runs ends the next Run at once.
  void Run() override;
  // Ends Run and every RunUntil running inside it. Thread-safe.
  void Quit() override;
  // Dispatches until done() is true (checked before each dispatch and after each wake) or
  // Quit. done() runs on the loop's thread.
  void RunUntil(const std::function<bool()>& done) override;

  // Makes a waiting loop look at the clock and at done() again (after a ManualClock moved or
  // another thread changed what done() reads). Thread-safe.
  void Wake();

  // Stepping without waiting, on the loop's thread. Each returns how much it delivered.
  // The queued posts, and those the handlers post meanwhile, until the queue is empty.
  size_t DispatchPending();
  // One tick of every timer whose time has come by the clock, earliest first.
  size_t FireDueTimers();
  // Posts and due ticks, in the loop's order, until nothing is ready.
  size_t ProcessReady();

  size_t PendingCount() const;
  // The clock time of the next tick, if any timer runs.
  std::optional<uint64_t> NextTimerDueMs() const;
  bool QuitRequested() const;

 private:
  struct QueuedPost {
    uint32_t message;
    int32_t event;
    int32_t value;
  };
  struct Timer {
    uint32_t period_ms;
    uint64_t due_ms;
  };

  // Delivers one post, or with timers allowed one due tick; false when nothing was ready.
  bool DispatchOne(bool timers_allowed);
  // Under the lock: the earliest timer due by now, already rescheduled; nothing when none is.
  std::optional<int> TakeDueTimerLocked(uint64_t now);
  // Blocks until a post arrives, the next timer may be due, Quit, or a Wake after the count
  // wakes was taken.
  void WaitForWork(uint64_t wakes);
  uint64_t WakeCount() const;
  // Ends a Run or RunUntil level; the outermost one forgets the Quit.
  void LeaveLevel();

  Clock& clock_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<QueuedPost> queue_;
  std::map<int, Timer> timers_;
  EventHandler* handler_ = nullptr;
  bool quit_ = false;
  int levels_ = 0;
  uint64_t wakes_ = 0;
};

}  // namespace velmar
