#pragma once
#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "app/EventLoop.h"
#include "platform/Clock.h"

namespace velmar {

// The window's event loop on Qt's: posts from any thread become Qt events delivered on the
// thread that owns this object (the user-interface thread), timers are QTimers, and modal
// questions run Qt's own nested loops, so posts keep arriving while a box is open, as they
// do in the window logic's other front ends.
//
// Posts queued for this object die with it: once the window is gone, nothing is delivered.
// Timer periods go through the clock's RealMsFor, so a test clock that runs faster makes the
// ticks come faster too.
class QtEventLoop : public QObject, public EventLoop {
  Q_OBJECT

 public:
  explicit QtEventLoop(Clock& clock = SystemClock(), QObject* parent = nullptr);
  ~QtEventLoop() override;

  void Post(uint32_t message, int32_t event, int32_t value) override;
  // Posts delivered while no handler is set are dropped.
  void SetHandler(EventHandler* handler) override;
  void StartTimer(int timer_id, uint32_t period_ms) override;
  void StopTimer(int timer_id) override;
  bool IsTimerRunning(int timer_id) const override;
  // Runs Qt's event loop until Quit.
  void Run() override;
  // Ends Run and every RunUntil inside it. Thread-safe.
  void Quit() override;
  // Dispatches Qt's events until done() is true or Quit.
  void RunUntil(const std::function<bool()>& done) override;

  // Makes a waiting RunUntil look at done() again. Thread-safe.
  void Wake();

 protected:
  bool event(QEvent* event) override;

 private:
  Clock& clock_;
  EventHandler* handler_ = nullptr;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  std::atomic<bool> quit_{false};
  int levels_ = 0;
};

}  // namespace velmar
