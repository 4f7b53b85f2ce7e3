#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/WorkerThread.h"

namespace velmar {
namespace {

// Counts its calls; a step can be held until the test releases it.
class CountingWorker : public WorkerThread {
 public:
  ~CountingWorker() override { Stop(); }

  std::atomic<int> starts{0}, steps{0}, stops{0};

  void HoldSteps() {
    std::lock_guard<std::mutex> guard(mutex_);
    held_ = true;
  }
  void ReleaseSteps() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      held_ = false;
    }
    cv_.notify_all();
  }
  void WaitForSteps(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return steps.load() >= n || waiting_in_step_; });
  }
  bool InStep() {
    std::lock_guard<std::mutex> guard(mutex_);
    return waiting_in_step_;
  }

 protected:
  void OnStart() override { ++starts; }
  void OnStop() override { ++stops; }
  void Step() override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++steps;
    waiting_in_step_ = held_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return !held_; });
    waiting_in_step_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool held_ = false;
  bool waiting_in_step_ = false;
};

TEST(WorkerThread, RunsStartHookStepsThenStopHook) {
  CountingWorker worker;
  worker.Stop();  // a worker that never started stops at once
  EXPECT_FALSE(worker.HasThread());
  worker.Start();
  worker.WaitForSteps(3);
  worker.Stop();
  EXPECT_EQ(worker.starts, 1);
  EXPECT_GE(worker.steps, 3);
  EXPECT_EQ(worker.stops, 1);
  EXPECT_FALSE(worker.IsRunning());
  EXPECT_FALSE(worker.HasThread());
}

TEST(WorkerThread, StopWaitsForTheStepInProgress) {
  CountingWorker worker;
  worker.HoldSteps();
  worker.Start();
  worker.WaitForSteps(1);
  ASSERT_TRUE(worker.InStep());
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    worker.Stop();
    stopped = true;
  });
  // The stopper cannot finish while the step is held; release it and the stop completes.
  EXPECT_FALSE(stopped.load());
  worker.ReleaseSteps();
  stopper.join();
  EXPECT_TRUE(stopped.load());
  EXPECT_EQ(worker.stops, 1);
}

TEST(WorkerThread, CanBeStartedAgainAfterAStop) {
  CountingWorker worker;
  worker.Start();
  worker.WaitForSteps(1);
  worker.Stop();
  worker.Start();
  worker.Start();  // a second start replaces the first thread cleanly
  worker.WaitForSteps(2);
  worker.Stop();
  EXPECT_EQ(worker.starts, 3);
  EXPECT_EQ(worker.stops, 3);
}

}  // namespace
}  // namespace velmar
