// The thread under every worker: hooks around the steps, a stop that waits for the step in
// progress, and starting again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "platform/WorkerThread.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;

// Counts its calls; while `hold` is set, a step waits until the test lets it go.
class CountingWorker : public WorkerThread {
 public:
  ~CountingWorker() override { Stop(); }
  std::atomic<int> starts{0}, steps{0}, stops{0};
  std::atomic<bool> hold{false};

 protected:
  void OnStart() override { ++starts; }
  void OnStop() override { ++stops; }
  void Step() override {
    ++steps;
    while (hold) std::this_thread::yield();
  }
};

bool Eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(WorkerThread, HooksAroundTheStepsAStopThatWaitsForTheStepAndAFreshStart) {
  CountingWorker worker;
  worker.Stop();  // a worker that never started stops at once
  EXPECT_FALSE(worker.HasThread());
  worker.hold = true;
  worker.Start();
  ASSERT_TRUE(Eventually([&] { return worker.steps == 1; }));
  auto stopped = std::async(std::launch::async, [&] { worker.Stop(); });
  EXPECT_EQ(stopped.wait_for(20ms), std::future_status::timeout) << "the step is still held";
  worker.hold = false;
  stopped.get();
  EXPECT_EQ(worker.steps, 1);
  EXPECT_EQ(worker.stops, 1);
  EXPECT_FALSE(worker.IsRunning());
  EXPECT_FALSE(worker.HasThread());

  worker.Start();
  worker.Start();  // a second start replaces the first thread cleanly
  ASSERT_TRUE(Eventually([&] { return worker.starts == 3 && worker.steps > 1; }));
  worker.Stop();
  EXPECT_EQ(worker.starts, 3);
  EXPECT_EQ(worker.stops, 3);
}

}  // namespace
}  // namespace velmar
