#pragma once
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/Clock.h"

namespace velmar {

// A background job: one thread that calls Step() while the running flag is set.
// The owner starts and stops it; a stop waits for the step in progress.
// A derived class must call Stop() in its own destructor, before its members go away.
class WorkerThread {
 public:
  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  virtual ~WorkerThread();

  virtual bool IsRunning();

  // Sets the running flag and creates the thread. A thread still held from an
  // earlier start is stopped and joined first.
  void Start();
  // Clears the running flag under the lock and waits for the thread without a time limit.
  // Returns at once when no thread was started.
  void Stop();
  bool HasThread() const { return thread_.joinable(); }

 protected:
  virtual void OnStart() = 0;
  virtual void OnStop() {}
  virtual void Step() = 0;
  // Called on the stopping thread once the running flag is cleared, before the wait: cuts
  // short what the step may be blocked in. OnStopped undoes it after the thread has ended.
  virtual void OnStopRequested() {}
  virtual void OnStopped() {}
  // Sleeps `ms` in slices, ending early when a stop is asked; false when it was.
  bool Pause(Clock& clock, uint32_t ms);

 private:
  static int ThreadRoutine(WorkerThread* worker);

  std::thread thread_;
  bool running_ = true;
  std::mutex lock_;
};

}  // namespace velmar
