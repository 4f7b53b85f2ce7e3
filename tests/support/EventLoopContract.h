#pragma once
// What every event loop of the window must do, checked through the interface alone: the
// standard loop, Qt's and the Win32 one each run it on a loop of their own.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/EventLoop.h"
#include "platform/Clock.h"

namespace velmar::testing {

struct LoopRecorder : EventHandler {
  struct Post {
    uint32_t message;
    int32_t event, value;
    std::thread::id thread;
  };
  void OnMessage(uint32_t message, int32_t event, int32_t value) override {
    posts.push_back({message, event, value, std::this_thread::get_id()});
    if (on_message) on_message(posts.back());
  }
  void OnTimer(int timer_id) override { ticks.push_back(timer_id); }
  std::vector<Post> posts;
  std::vector<int> ticks;
  std::function<void(const Post&)> on_message;
};

using LoopMaker = std::function<std::unique_ptr<EventLoop>(Clock&)>;

inline void CheckEventLoopContract(const LoopMaker& make) {
  ScaledClock clock(1000);  // a period of a second passes in a millisecond
  {
    SCOPED_TRACE("posts from many threads arrive whole, on the loop's thread, each thread's in order");
    auto loop = make(clock);
    LoopRecorder recorder;
    loop->SetHandler(&recorder);
    constexpr int kThreads = 4, kPosts = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
      posters.emplace_back([&loop, t] {
        for (int i = 0; i < kPosts; ++i) loop->Post(2048, t - 2, i % 2 ? -i : i);
      });
    loop->RunUntil([&] { return recorder.posts.size() == kThreads * kPosts; });
    for (std::thread& poster : posters) poster.join();
    std::vector<int> next(kThreads, 0);
    for (const LoopRecorder::Post& post : recorder.posts) {
      ASSERT_EQ(post.message, 2048u);
      ASSERT_EQ(post.thread, std::this_thread::get_id());
      int& expected = next[static_cast<size_t>(post.event + 2)];
      ASSERT_EQ(post.value, expected % 2 ? -expected : expected) << "from " << post.event;
      ++expected;
    }
  }
  {
    SCOPED_TRACE("a timer ticks at the clock's pace until stopped; a restart is no second timer");
    auto loop = make(clock);
    LoopRecorder recorder;
    loop->SetHandler(&recorder);
    EXPECT_FALSE(loop->IsTimerRunning(1));
    loop->StartTimer(1, 1000);
    loop->StartTimer(1, 1000);
    EXPECT_TRUE(loop->IsTimerRunning(1));
    loop->RunUntil([&] { return recorder.ticks.size() >= 3; });
    loop->StopTimer(1);
    loop->StopTimer(7);  // never started: nothing to do
    EXPECT_FALSE(loop->IsTimerRunning(1));
    const std::vector<int> ticks = recorder.ticks;
    EXPECT_EQ(ticks, std::vector<int>(ticks.size(), 1));
    loop->Post(0, 0, 0);
    loop->RunUntil([&] { return recorder.posts.size() == 1; });
    EXPECT_EQ(recorder.ticks, ticks);
  }
  {
    SCOPED_TRACE("a quit from another thread ends the run and the modal loops inside it, once");
    auto loop = make(clock);
    LoopRecorder recorder;
    loop->SetHandler(&recorder);
    bool modal_returned = false;
    recorder.on_message = [&](const LoopRecorder::Post& post) {
      if (post.event == 1) {  // a question opened: events go on flowing inside it
        loop->Post(0, 2, 0);
        loop->RunUntil([] { return false; });
        modal_returned = true;
      } else if (post.event == 2) {
        std::thread([&loop] { loop->Quit(); }).join();
      }
    };
    loop->Post(0, 1, 0);
    loop->Run();
    EXPECT_TRUE(modal_returned);
    loop->Post(0, 3, 0);
    loop->RunUntil([&] { return recorder.posts.size() == 3; });
    EXPECT_EQ(recorder.posts.back().event, 3);
  }
  {
    SCOPED_TRACE("a quit from another thread wakes a run that waits");
    auto loop = make(clock);
    LoopRecorder recorder;
    loop->SetHandler(&recorder);
    std::atomic<bool> running{false};
    recorder.on_message = [&](const LoopRecorder::Post&) { running = true; };
    loop->Post(0, 0, 0);
    std::thread quitter([&] {
      while (!running) std::this_thread::yield();
      loop->Quit();
    });
    loop->Run();
    quitter.join();
    EXPECT_EQ(recorder.posts.size(), 1u);
  }
}

}  // namespace velmar::testing
