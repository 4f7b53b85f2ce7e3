#include "platform/WorkerThread.h"

namespace velmar {

WorkerThread::~WorkerThread() {
  // Derived classes have stopped the thread already; this only guards against a leak.
  Stop();
}

bool WorkerThread::IsRunning() {
  std::lock_guard<std::mutex> guard(lock_);
  return running_;
}

int WorkerThread::ThreadRoutine(WorkerThread* worker) {
  worker->OnStart();
  while (worker->IsRunning()) worker->Step();
  worker->OnStop();
  return 1;
}

void WorkerThread::Start() {
  if (thread_.joinable()) Stop();
  {
    std::lock_guard<std::mutex> guard(lock_);
    running_ = true;
  }
  thread_ = std::thread(&WorkerThread::ThreadRoutine, this);
}

void WorkerThread::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    running_ = false;
  }
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    // A worker asking to stop itself cannot wait for itself; it ends after this step
    // and its owner joins it at the next Start or Stop.
    return;
  }
  OnStopRequested();
  thread_.join();
  OnStopped();
}

bool WorkerThread::Pause(Clock& clock, uint32_t ms) {
  // Slices short enough that a stop never waits long for a sleeping step.
  constexpr uint32_t kSliceMs = 100;
  while (ms > 0 && IsRunning()) {
    const uint32_t slice = ms < kSliceMs ? ms : kSliceMs;
    clock.SleepMs(slice);
    ms -= slice;
  }
  return IsRunning();
}

}  // namespace velmar
