// The window's Windows event loop: posts from worker threads arrive whole and in order on the
// loop's thread, through modal boxes' loops too; timers tick at the clock's pace; Quit from
// another thread ends Run.
#include "Win32EventLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace velmar {
namespace {

struct Recorder : EventHandler {
  struct Post {
    uint32_t message;
    int32_t event, value;
    std::thread::id thread;
  };
  void OnMessage(uint32_t message, int32_t event, int32_t value) override {
    posts.push_back({message, event, value, std::this_thread::get_id()});
  }
  void OnTimer(int id) override { ticks.push_back(id); }
  std::vector<Post> posts;
  std::vector<int> ticks;
};

// Ten times faster than real time: a 1000 ms period waits 100 ms.
struct FastClock : Clock {
  uint64_t NowMs() override { return GetTickCount64() * 10; }
  void SleepMs(uint32_t ms) override { Sleep(ms / 10); }
  uint64_t RealMsFor(uint64_t ms) override {
    asked.push_back(ms);
    return ms / 10;
  }
  std::vector<uint64_t> asked;
};

TEST(Win32EventLoop, PostsFromWorkersArriveInOrderOnTheLoopThreadWithNegativeValuesWhole) {
  Win32EventLoop loop;
  Recorder recorder;
  loop.SetHandler(&recorder);
  constexpr int kPerThread = 2000;
  std::vector<std::thread> workers;
  for (int32_t event : {-7, 2049}) {
    workers.emplace_back([&loop, event] {
      for (int32_t i = 0; i < kPerThread; ++i) loop.Post(2048, event, i % 2 ? -i : i);
    });
  }
  loop.RunUntil([&] { return recorder.posts.size() == 2 * kPerThread; });
  for (std::thread& worker : workers) worker.join();

  int32_t next[2] = {0, 0};
  for (const auto& post : recorder.posts) {
    ASSERT_EQ(post.message, 2048u);
    ASSERT_EQ(post.thread, std::this_thread::get_id());
    int32_t& expected = next[post.event == -7 ? 0 : 1];
    ASSERT_EQ(post.value, expected % 2 ? -expected : expected) << "event " << post.event;
    ++expected;
  }
  EXPECT_EQ(next[0], kPerThread);
  EXPECT_EQ(next[1], kPerThread);
}

TEST(Win32EventLoop, TimersTickAtTheClocksPaceUntilStoppedAndQuitEndsRun) {
  FastClock clock;
  Win32EventLoop loop(clock);
  Recorder recorder;
  loop.SetHandler(&recorder);
  loop.StartTimer(2, 1000);
  EXPECT_TRUE(loop.IsTimerRunning(2));
  loop.RunUntil([&] { return recorder.ticks.size() >= 3; });
  EXPECT_EQ(clock.asked, std::vector<uint64_t>({1000})) << "the period goes through the clock";
  EXPECT_EQ(recorder.ticks, std::vector<int>({2, 2, 2}));
  loop.StopTimer(2);
  EXPECT_FALSE(loop.IsTimerRunning(2));

  // No handler: what arrives meanwhile is dropped.
  loop.SetHandler(nullptr);
  loop.Post(2025, 0, 0);
  loop.DispatchPending();
  loop.SetHandler(&recorder);
  std::thread quitter([&loop] { loop.Quit(); });
  loop.Run();
  quitter.join();
  EXPECT_TRUE(recorder.posts.empty());
  EXPECT_EQ(recorder.ticks.size(), 3u);
}

}  // namespace
}  // namespace velmar
