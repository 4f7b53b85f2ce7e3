#pragma once
#include <cstdint>

namespace velmar {

// Tells the port scanner at once that serial ports appeared or went, so that it searches now
// rather than at its next tick, and notices a pulled cable without asking the tool.
class PortWatch {
 public:
  virtual ~PortWatch() = default;
  // False when nothing can be watched here: the scanner then sleeps and polls.
  virtual bool Active() const = 0;
  // Waits at most `ms` for ports to appear or go. True as soon as that happened (the news is
  // used up); false when the time passed without it.
  virtual bool WaitForChange(uint32_t ms) = 0;
};

// A system without a way to watch its ports: the scanner's polling alone finds the tool.
class NoPortWatch : public PortWatch {
 public:
  bool Active() const override { return false; }
  bool WaitForChange(uint32_t) override { return false; }
};

// The watch of this operating system, opened at the first call (on Linux: udev's tty events
// and the port directory).
PortWatch& SystemPortWatch();

}  // namespace velmar
