#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <set>

#include "app/EventLoop.h"
#include "platform/Clock.h"

namespace velmar {

// The window's event loop on the Windows message queue of the user-interface thread. Posts
// from any thread become messages posted to a message-only window that this object owns, so
// they arrive in posting order on the thread that made the loop, and modal boxes (which run
// the system's own loops) deliver them too. Once the loop is gone its window is gone, and a
// late post from a worker fails in PostMessage instead of reaching freed memory.
//
// Timers are window timers of that window; periods go through the clock's RealMsFor, so a
// test clock that runs faster makes the ticks come faster too.
class Win32EventLoop : public EventLoop {
 public:
  explicit Win32EventLoop(Clock& clock = SystemClock());
  ~Win32EventLoop() override;
  Win32EventLoop(const Win32EventLoop&) = delete;
  Win32EventLoop& operator=(const Win32EventLoop&) = delete;

  void Post(uint32_t message, int32_t event, int32_t value) override;
  void SetHandler(EventHandler* handler) override;
  void StartTimer(int timer_id, uint32_t period_ms) override;
  void StopTimer(int timer_id) override;
  bool IsTimerRunning(int timer_id) const override;
  void Run() override;
  // Ends Run and every RunUntil inside it. Thread-safe.
  void Quit() override;
  void RunUntil(const std::function<bool()>& done) override;

  // The modeless dialog whose keyboard navigation (Tab, Enter, Escape) the loop handles.
  void SetDialog(HWND dialog) { dialog_ = dialog; }
  // Pumps what is queued now without waiting (tests and start-up).
  void DispatchPending();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Dispatch(const MSG& msg);

  Clock& clock_;
  HWND window_ = nullptr;
  HWND dialog_ = nullptr;
  EventHandler* handler_ = nullptr;
  std::set<int> timers_;
  std::atomic<bool> quit_{false};
  int levels_ = 0;
};

}  // namespace velmar
