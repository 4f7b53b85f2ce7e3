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

// Real time run faster by a whole factor: NowMs grows `factor` times as fast as the steady
// clock and SleepMs sleeps 1/factor of what it is asked. Lets whole updates with their
// one-second ticks run in seconds against real peers (tests, and velmar-cli's test hook).
class ScaledClock : public Clock {
 public:
  explicit ScaledClock(unsigned factor);
  uint64_t NowMs() override;
  void SleepMs(uint32_t ms) override;
  uint64_t RealMsFor(uint64_t ms) override { return (ms + factor_ - 1) / factor_; }
  unsigned factor() const { return factor_; }

 private:
  unsigned factor_;
  uint64_t start_us_;
};

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
