#include "app/StdEventLoop.h"

#include <algorithm>
#include <chrono>

namespace velmar {

namespace {
// A waiting loop looks at the clock at least this often, so a clock that moves by itself
// (or a ManualClock moved without Wake) is noticed.
constexpr uint64_t kLongestWaitMs = 1000;
}  // namespace

StdEventLoop::StdEventLoop(Clock& clock) : clock_(clock) {}

StdEventLoop::~StdEventLoop() = default;

void StdEventLoop::Post(uint32_t message, int32_t event, int32_t value) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (handler_ == nullptr) return;
    queue_.push_back(QueuedPost{message, event, value});
  }
  changed_.notify_all();
}

void StdEventLoop::SetHandler(EventHandler* handler) {
  std::lock_guard<std::mutex> guard(mutex_);
  handler_ = handler;
}

void StdEventLoop::StartTimer(int timer_id, uint32_t period_ms) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    const uint32_t period = std::max<uint32_t>(period_ms, 1);
    timers_[timer_id] = Timer{period, clock_.NowMs() + period};
  }
  changed_.notify_all();
}

void StdEventLoop::StopTimer(int timer_id) {
  std::lock_guard<std::mutex> guard(mutex_);
  timers_.erase(timer_id);
}

bool StdEventLoop::IsTimerRunning(int timer_id) const {
  std::lock_guard<std::mutex> guard(mutex_);
  return timers_.count(timer_id) != 0;
}

void StdEventLoop::Quit() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
}

void StdEventLoop::Wake() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    ++wakes_;
  }
  changed_.notify_all();
}

bool StdEventLoop::QuitRequested() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return quit_;
}

size_t StdEventLoop::PendingCount() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return queue_.size();
}

std::optional<uint64_t> StdEventLoop::NextTimerDueMs() const {
  std::lock_guard<std::mutex> guard(mutex_);
  std::optional<uint64_t> next;
  for (const auto& [id, timer] : timers_)
    if (!next || timer.due_ms < *next) next = timer.due_ms;
  return next;
}

bool StdEventLoop::DispatchOne(bool timers_allowed) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!queue_.empty()) {
    const QueuedPost post = queue_.front();
    queue_.pop_front();
    EventHandler* handler = handler_;
    lock.unlock();
    // A handler removed after the post was queued gets nothing.
    if (handler != nullptr) handler->OnMessage(post.message, post.event, post.value);
    return true;
  }
  if (!timers_allowed) return false;

  const std::optional<int> timer_id = TakeDueTimerLocked(clock_.NowMs());
  if (!timer_id) return false;
  EventHandler* handler = handler_;
  lock.unlock();
  if (handler != nullptr) handler->OnTimer(*timer_id);
  return true;
}

std::optional<int> StdEventLoop::TakeDueTimerLocked(uint64_t now) {
  auto due = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it)
    if (it->second.due_ms <= now &&
        (due == timers_.end() || it->second.due_ms < due->second.due_ms))
      due = it;
  if (due == timers_.end()) return std::nullopt;
  Timer& timer = due->second;
  timer.due_ms += timer.period_ms;
  if (timer.due_ms <= now) timer.due_ms = now + timer.period_ms;  // missed periods merge
  return due->first;
}

uint64_t StdEventLoop::WakeCount() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return wakes_;
}

void StdEventLoop::WaitForWork(uint64_t wakes) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!queue_.empty() || quit_ || wakes_ != wakes) return;
  uint64_t wait_ms = kLongestWaitMs;
  if (!timers_.empty()) {
    const uint64_t now = clock_.NowMs();
    for (const auto& [id, timer] : timers_) {
      if (timer.due_ms <= now) return;
      wait_ms = std::min(wait_ms, timer.due_ms - now);
    }
  }
  wait_ms = std::min<uint64_t>(clock_.RealMsFor(wait_ms), kLongestWaitMs);
  changed_.wait_for(lock, std::chrono::milliseconds(wait_ms),
                    [&] { return !queue_.empty() || quit_ || wakes_ != wakes; });
}

void StdEventLoop::LeaveLevel() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (--levels_ == 0) quit_ = false;
}

void StdEventLoop::Run() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    ++levels_;
  }
  while (!QuitRequested()) {
    if (!DispatchOne(true)) WaitForWork(WakeCount());
  }
  LeaveLevel();
}

void StdEventLoop::RunUntil(const std::function<bool()>& done) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    ++levels_;
  }
  for (;;) {
    // Taken before done() is asked, so a Wake in between is not lost.
    const uint64_t wakes = WakeCount();
    if (done() || QuitRequested()) break;
    if (!DispatchOne(true)) WaitForWork(wakes);
  }
  LeaveLevel();
}

size_t StdEventLoop::DispatchPending() {
  size_t delivered = 0;
  while (DispatchOne(false)) ++delivered;
  return delivered;
}

size_t StdEventLoop::FireDueTimers() {
  // Ticks only: posts stay queued for DispatchPending.
  size_t fired = 0;
  const uint64_t now = clock_.NowMs();
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::optional<int> timer_id = TakeDueTimerLocked(now);
    if (!timer_id) return fired;
    EventHandler* handler = handler_;
    lock.unlock();
    if (handler != nullptr) handler->OnTimer(*timer_id);
    ++fired;
  }
}

size_t StdEventLoop::ProcessReady() {
  size_t delivered = 0;
  while (DispatchOne(true)) ++delivered;
  return delivered;
}

}  // namespace velmar
