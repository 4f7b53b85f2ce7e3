#pragma once
#include <atomic>
#include <cstdint>

namespace velmar {

// Time as the step machines see it: a monotonic millisecond count and a sleep.
// Tests inject a manual clock so that waits are explicit steps, not real time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  // How long, in real milliseconds, this clock takes to move on by `ms`; an event loop waits
  // that long for its next timer.
  virtual uint64_t RealMsFor(uint64_t ms) { return ms; }
};

// The process-wide steady clock.
Clock& SystemClock();

// A clock that only moves when told to; SleepMs advances it at once. Safe to share
// between a worker thread and the test that drives it.
class ManualClock : public Clock {
 public:
  uint64_t NowMs() override;
  void SleepMs(uint32_t ms) override;
  void Advance(uint64_t ms);
  uint64_t TotalSlept() const;

 private:
  std::atomic<uint64_t> now_{0};
  std::atomic<uint64_t> slept_{0};
};

}  // namespace velmar
