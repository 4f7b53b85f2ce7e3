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
  thread_.join();
}

}  // namespace velmar
