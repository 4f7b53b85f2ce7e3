// The Qt binding of the window's event loop: where and in which order posts arrive, timers,
// quitting from inside nested loops, and nothing delivered to a loop that is gone.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "QtEventLoop.h"
#include "platform/Clock.h"

namespace velmar {
namespace {

struct Recorder : EventHandler {
  std::vector<std::pair<int32_t, int32_t>> posts;  // (event, value)
  std::vector<int> ticks;
  std::vector<QThread*> threads;
  std::function<void(uint32_t, int32_t)> on_message;
  void OnMessage(uint32_t message, int32_t event, int32_t value) override {
    posts.push_back({event, value});
    threads.push_back(QThread::currentThread());
    if (on_message) on_message(message, event);
  }
  void OnTimer(int timer_id) override { ticks.push_back(timer_id); }
};

TEST(QtEventLoop, PostsFromManyThreadsArriveOnTheLoopThreadInEachThreadsOrder) {
  QtEventLoop loop;
  Recorder recorder;
  loop.SetHandler(&recorder);
  constexpr int kThreads = 4;
  constexpr int kPostsEach = 500;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&loop, t] {
      for (int i = 0; i < kPostsEach; ++i) loop.Post(2049, t, i);
    });
  }
  for (auto& poster : posters) poster.join();
  loop.RunUntil([&] { return recorder.posts.size() == kThreads * kPostsEach; });

  std::vector<int> next(kThreads, 0);
  for (const auto& [thread, value] : recorder.posts) {
    ASSERT_EQ(value, next[static_cast<size_t>(thread)]) << "thread " << thread;
    ++next[static_cast<size_t>(thread)];
  }
  for (QThread* thread : recorder.threads) ASSERT_EQ(thread, QThread::currentThread());
}

// Posts without a handler are dropped; posts queued for a loop that is gone never arrive.
TEST(QtEventLoop, PostsWithoutAHandlerOrLoopAreDropped) {
  Recorder recorder;
  {
    QtEventLoop gone;
    gone.SetHandler(&recorder);
    gone.Post(2048, 8, 0);
  }
  QtEventLoop loop;
  loop.Post(2025, 1, 0);
  QCoreApplication::processEvents();
  loop.SetHandler(&recorder);
  loop.Post(2025, 2, 0);
  loop.RunUntil([&] { return !recorder.posts.empty(); });
  ASSERT_EQ(recorder.posts.size(), 1u);
  EXPECT_EQ(recorder.posts[0].first, 2);
}

TEST(QtEventLoop, TimersTickUntilStoppedAndRestartReplacesThePeriod) {
  ScaledClock clock(1000);  // a period of a second passes in a millisecond
  QtEventLoop loop(clock);
  Recorder recorder;
  loop.SetHandler(&recorder);
  EXPECT_FALSE(loop.IsTimerRunning(1));
  loop.StartTimer(1, 1000);
  loop.StartTimer(1, 1000);  // a restart, not a second timer
  EXPECT_TRUE(loop.IsTimerRunning(1));
  loop.RunUntil([&] { return recorder.ticks.size() >= 3; });
  loop.StopTimer(1);
  EXPECT_FALSE(loop.IsTimerRunning(1));
  const size_t ticks = recorder.ticks.size();
  loop.Post(0, 0, 0);
  loop.RunUntil([&] { return recorder.posts.size() == 1; });
  EXPECT_EQ(recorder.ticks.size(), ticks);
  loop.StopTimer(7);  // never started: nothing to do
}

TEST(QtEventLoop, QuitFromANestedLoopEndsEveryLevelAndIsForgottenAfterwards) {
  QtEventLoop loop;
  Recorder recorder;
  loop.SetHandler(&recorder);
  bool nested_returned = false;
  recorder.on_message = [&](uint32_t, int32_t event) {
    if (event != 1) return;
    loop.Post(0, 2, 0);  // delivered inside the nested loop, which then quits
    loop.RunUntil([] { return false; });
    nested_returned = true;
  };
  std::atomic<bool> quit_sent{false};
  recorder.on_message = [&, first = recorder.on_message](uint32_t message, int32_t event) {
    if (event == 2 && !quit_sent.exchange(true)) {
      std::thread([&loop] { loop.Quit(); }).join();  // from another thread
      return;
    }
    first(message, event);
  };
  loop.Post(0, 1, 0);
  loop.Run();
  EXPECT_TRUE(nested_returned);

  // The quit ended that run only: the next one waits for its own condition.
  loop.Post(0, 3, 0);
  loop.RunUntil([&] { return recorder.posts.size() == 3; });
  EXPECT_EQ(recorder.posts.back().first, 3);
}

}  // namespace
}  // namespace velmar
