#pragma once
#include <cstdint>
#include <functional>

#include "platform/EventPoster.h"

namespace velmar {

// What the loop delivers, always on the thread that runs the loop.
class EventHandler {
 public:
  virtual ~EventHandler() = default;
  virtual void OnMessage(uint32_t message, int32_t event, int32_t value) = 0;
  virtual void OnTimer(int timer_id) = 0;
};

// The window's event loop: posts from any thread, timers, run and quit. Modal questions run
// a nested loop (RunUntil) so that events keep flowing while the user decides, as they do in
// a desktop program. Posts made while no handler is set are dropped.
class EventLoop : public EventPoster {
 public:
  // Thread-safe; the post is delivered later on the loop's thread, in posting order.
  void Post(uint32_t message, int32_t event, int32_t value) override = 0;
  virtual void SetHandler(EventHandler* handler) = 0;
  // (Re)starts a periodic timer; the first tick comes one period from now.
  virtual void StartTimer(int timer_id, uint32_t period_ms) = 0;
  virtual void StopTimer(int timer_id) = 0;
  virtual bool IsTimerRunning(int timer_id) const = 0;
  // Dispatches until Quit.
  virtual void Run() = 0;
  virtual void Quit() = 0;
  // Dispatches until done() is true or the loop is told to quit (a nested, modal loop).
  virtual void RunUntil(const std::function<bool()>& done) = 0;
};

}  // namespace velmar
