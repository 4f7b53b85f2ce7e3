// The window's Windows event loop: the loops' common rules, timer periods that go through the
// clock, and posts that arrive while no handler listens.
#include "Win32EventLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/EventLoopContract.h"

namespace velmar {
namespace {

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

TEST(Win32EventLoop, KeepsTheRulesOfEveryLoop) {
  testing::CheckEventLoopContract([](Clock& clock) { return std::make_unique<Win32EventLoop>(clock); });
}

TEST(Win32EventLoop, TheTimersPeriodGoesThroughTheClockAndPostsWithoutAHandlerAreDropped) {
  FastClock clock;
  Win32EventLoop loop(clock);
  testing::LoopRecorder recorder;
  loop.SetHandler(&recorder);
  loop.StartTimer(2, 1000);
  loop.RunUntil([&] { return recorder.ticks.size() >= 3; });
  EXPECT_EQ(clock.asked, std::vector<uint64_t>({1000}));
  loop.StopTimer(2);

  loop.SetHandler(nullptr);
  loop.Post(2025, 0, 0);
  loop.DispatchPending();
  loop.SetHandler(&recorder);
  std::thread quitter([&loop] { loop.Quit(); });
  loop.Run();
  quitter.join();
  EXPECT_TRUE(recorder.posts.empty());
}

}  // namespace
}  // namespace velmar
