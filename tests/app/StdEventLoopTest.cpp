// The standard event loop: posts in order from many threads, timers on a manual clock, nested
// modal loops, quitting, and posts nobody listens to.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "app/StdEventLoop.h"
#include "platform/Clock.h"
#include "support/EventLoopContract.h"

namespace velmar {
namespace {

struct Delivered {
  bool is_timer = false;
  uint32_t message = 0;
  int32_t event = 0;
  int32_t value = 0;
  int timer = 0;
  bool operator==(const Delivered&) const = default;
};

Delivered Msg(uint32_t message, int32_t event, int32_t value = 0) {
  return Delivered{false, message, event, value, 0};
}
Delivered Tick(int timer) { return Delivered{true, 0, 0, 0, timer}; }

// Records what arrives and on which thread; an optional hook reacts to each message.
class Recorder : public EventHandler {
 public:
  void OnMessage(uint32_t message, int32_t event, int32_t value) override {
    threads.push_back(std::this_thread::get_id());
    seen.push_back(Msg(message, event, value));
    if (on_message) on_message(message, event, value);
  }
  void OnTimer(int timer_id) override {
    threads.push_back(std::this_thread::get_id());
    seen.push_back(Tick(timer_id));
    if (on_timer) on_timer(timer_id);
  }

  std::vector<Delivered> seen;
  std::vector<std::thread::id> threads;
  std::function<void(uint32_t, int32_t, int32_t)> on_message;
  std::function<void(int)> on_timer;
};

class StdEventLoopTest : public ::testing::Test {
 protected:
  void SetUp() override { loop_.SetHandler(&recorder_); }

  ManualClock clock_;
  StdEventLoop loop_{clock_};
  Recorder recorder_;
};

// Posts wait for a dispatch and arrive in order, before the ticks that are due; what a
// handler posts is delivered by the same dispatch.
TEST_F(StdEventLoopTest, PostsArriveInOrderBeforeTicksOnlyWhenDispatched) {
  recorder_.on_message = [this](uint32_t message, int32_t, int32_t) {
    if (message == 2046) loop_.Post(2025, 5, 0);
  };
  loop_.StartTimer(1, 10);
  clock_.Advance(10);
  loop_.Post(2049, 4, 50);
  loop_.Post(2046, 0, 0);
  loop_.Post(2048, 18, 7);
  EXPECT_TRUE(recorder_.seen.empty());
  EXPECT_EQ(loop_.PendingCount(), 3u);
  EXPECT_EQ(loop_.ProcessReady(), 5u);
  EXPECT_EQ(recorder_.seen, (std::vector<Delivered>{Msg(2049, 4, 50), Msg(2046, 0), Msg(2048, 18, 7),
                                                    Msg(2025, 5), Tick(1)}));
  EXPECT_EQ(loop_.DispatchPending(), 0u);
}

TEST_F(StdEventLoopTest, PostsWithoutAHandlerAreDropped) {
  loop_.SetHandler(nullptr);
  loop_.Post(2025, 1, 0);
  EXPECT_EQ(loop_.PendingCount(), 0u);
  loop_.SetHandler(&recorder_);
  loop_.Post(2025, 2, 0);
  // Removed after posting: the queued post goes nowhere.
  loop_.SetHandler(nullptr);
  loop_.DispatchPending();
  loop_.SetHandler(&recorder_);
  loop_.DispatchPending();
  EXPECT_TRUE(recorder_.seen.empty());
}

TEST_F(StdEventLoopTest, TimerTicksEveryPeriodOfTheClockAndALateLoopGetsOneTick) {
  loop_.StartTimer(1, 1000);
  EXPECT_TRUE(loop_.IsTimerRunning(1));
  EXPECT_EQ(loop_.NextTimerDueMs(), 1000u);
  clock_.Advance(999);
  EXPECT_EQ(loop_.FireDueTimers(), 0u);
  clock_.Advance(1);
  EXPECT_EQ(loop_.FireDueTimers(), 1u);
  EXPECT_EQ(loop_.FireDueTimers(), 0u);
  clock_.Advance(1000);
  EXPECT_EQ(loop_.FireDueTimers(), 1u);
  EXPECT_EQ(recorder_.seen, (std::vector<Delivered>{Tick(1), Tick(1)}));
  EXPECT_EQ(loop_.NextTimerDueMs(), 3000u);
  // Late by several periods: one tick, not a burst, and the rhythm starts again from now.
  clock_.Advance(5500);
  EXPECT_EQ(loop_.FireDueTimers(), 1u);
  EXPECT_EQ(loop_.NextTimerDueMs(), 8500u);
  // A zero period is one millisecond.
  loop_.StartTimer(3, 0);
  clock_.Advance(1);
  EXPECT_EQ(loop_.FireDueTimers(), 1u);
}

TEST_F(StdEventLoopTest, RestartStopAndTwoTimers) {
  loop_.StartTimer(1, 1000);
  loop_.StartTimer(2, 300);
  clock_.Advance(600);
  loop_.StartTimer(1, 1000);             // restarted: the first tick is a period from now
  EXPECT_EQ(loop_.FireDueTimers(), 1u);  // timer 2 at 300 (once, late)
  clock_.Advance(1000);
  EXPECT_EQ(loop_.FireDueTimers(), 2u);
  EXPECT_EQ(recorder_.seen, (std::vector<Delivered>{Tick(2), Tick(2), Tick(1)}));
  loop_.StopTimer(2);
  EXPECT_FALSE(loop_.IsTimerRunning(2));
  loop_.StopTimer(7);  // never started: nothing happens
  clock_.Advance(1000);
  loop_.FireDueTimers();
  EXPECT_EQ(recorder_.seen.back(), Tick(1));
  EXPECT_EQ(recorder_.seen.size(), 4u);
}

TEST_F(StdEventLoopTest, ATimerStoppedByAnotherTicksHandlerDoesNotTick) {
  loop_.StartTimer(1, 100);
  loop_.StartTimer(2, 100);
  recorder_.on_timer = [this](int id) {
    if (id == 1) loop_.StopTimer(2);
  };
  clock_.Advance(100);
  EXPECT_EQ(loop_.FireDueTimers(), 1u);
  EXPECT_EQ(recorder_.seen, std::vector<Delivered>{Tick(1)});
}

TEST_F(StdEventLoopTest, RunUntilDeliversWhileAModalQuestionIsOpen) {
  // A question opened by one event: the loop keeps delivering until the answer comes.
  bool answered = false;
  recorder_.on_message = [&](uint32_t message, int32_t event, int32_t) {
    if (message == 1 && event == 0) {
      loop_.RunUntil([&] { return answered; });
      loop_.Post(1, 99, 0);  // after the question
    }
    if (message == 1 && event == 2) answered = true;
  };
  loop_.Post(1, 0, 0);
  loop_.Post(1, 1, 0);
  loop_.Post(1, 2, 0);
  loop_.Post(1, 3, 0);
  loop_.RunUntil([] { return true; });  // already done: returns at once
  EXPECT_TRUE(recorder_.seen.empty());
  loop_.DispatchPending();
  EXPECT_EQ(recorder_.seen,
            (std::vector<Delivered>{Msg(1, 0), Msg(1, 1), Msg(1, 2), Msg(1, 3), Msg(1, 99)}));
}

TEST_F(StdEventLoopTest, RunUntilFiresTimersOfTheClock) {
  // The blinking banner keeps blinking while a box is open.
  loop_.StartTimer(2, 1000);
  int ticks = 0;
  recorder_.on_timer = [&](int) {
    ++ticks;
    if (ticks < 3) clock_.Advance(1000);
  };
  clock_.Advance(1000);
  loop_.RunUntil([&] { return ticks == 3; });
  EXPECT_EQ(ticks, 3);
}

TEST_F(StdEventLoopTest, QuitEndsRunAndTheModalLoopsInsideIt) {
  loop_.Quit();  // before the run: it ends at once
  loop_.Post(1, 0, 0);
  loop_.Run();
  EXPECT_TRUE(recorder_.seen.empty());
  EXPECT_EQ(loop_.PendingCount(), 1u);
  recorder_.on_message = [&](uint32_t message, int32_t event, int32_t) {
    if (message == 1 && event == 0) loop_.RunUntil([] { return false; });
    if (message == 1 && event == 1) loop_.Quit();
  };
  loop_.Post(1, 1, 0);
  loop_.Post(1, 2, 0);  // after the quit: not delivered by this run
  loop_.Run();
  EXPECT_EQ(recorder_.seen, (std::vector<Delivered>{Msg(1, 0), Msg(1, 1)}));
  EXPECT_FALSE(loop_.QuitRequested());  // the next Run starts afresh
  recorder_.on_message = [&](uint32_t, int32_t, int32_t) { loop_.Quit(); };
  loop_.Run();
  EXPECT_EQ(recorder_.seen.back(), Msg(1, 2));
}

TEST(StdEventLoop, KeepsTheRulesOfEveryLoop) {
  testing::CheckEventLoopContract([](Clock& clock) { return std::make_unique<StdEventLoop>(clock); });
}

// On the system clock, with another thread.
class StdEventLoopRealTime : public ::testing::Test {
 protected:
  void SetUp() override { loop.SetHandler(&recorder); }
  StdEventLoop loop;
  Recorder recorder;
};

TEST_F(StdEventLoopRealTime, WakeMakesAWaitingRunUntilLookAgain) {
  std::atomic<bool> done{false};
  std::atomic<bool> started{false};
  recorder.on_message = [&](uint32_t, int32_t, int32_t) { started = true; };
  loop.Post(1, 0, 0);
  std::thread other([&] {
    while (!started) std::this_thread::yield();
    done = true;
    loop.Wake();
  });
  loop.RunUntil([&] { return done.load(); });
  other.join();
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace velmar
