#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace velmar {

namespace {
class SteadyClock : public Clock {
 public:
  uint64_t NowMs() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};
}  // namespace

Clock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

namespace {
uint64_t SteadyMicroseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

ScaledClock::ScaledClock(unsigned factor)
    : factor_(factor ? factor : 1), start_us_(SteadyMicroseconds()) {}

uint64_t ScaledClock::NowMs() { return (SteadyMicroseconds() - start_us_) * factor_ / 1000; }

void ScaledClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::microseconds(uint64_t{ms} * 1000 / factor_));
}

uint64_t ManualClock::NowMs() { return now_; }
void ManualClock::SleepMs(uint32_t ms) {
  now_ += ms;
  slept_ += ms;
}
void ManualClock::Advance(uint64_t ms) { now_ += ms; }
uint64_t ManualClock::TotalSlept() const { return slept_; }

}  // namespace velmar
