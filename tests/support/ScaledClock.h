#pragma once
#include <chrono>
#include <thread>

#include "platform/Clock.h"

namespace velmar::testing {

// Real time run faster by a whole factor: NowMs grows `factor` times as fast as the steady
// clock and SleepMs sleeps 1/factor of what it is asked. Lets a whole update with its
// one-second ticks run in a few seconds against real peers, without fixed sleeps in tests.
class ScaledClock : public Clock {
 public:
  explicit ScaledClock(unsigned factor) : factor_(factor ? factor : 1), start_(Steady::now()) {}
  uint64_t NowMs() override {
    const auto real = std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - start_);
    return static_cast<uint64_t>(real.count()) * factor_ / 1000;
  }
  void SleepMs(uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::microseconds(uint64_t{ms} * 1000 / factor_));
  }
  uint64_t RealMsFor(uint64_t ms) override { return (ms + factor_ - 1) / factor_; }
  unsigned factor() const { return factor_; }

 private:
  using Steady = std::chrono::steady_clock;
  unsigned factor_;
  Steady::time_point start_;
};

}  // namespace velmar::testing
