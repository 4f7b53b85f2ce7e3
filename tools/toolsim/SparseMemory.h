#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace velmar::toolsim {

// The tool's memory as far as blocks were written into it: non-overlapping ranges, adjacent
// writes merged into one range, so that a transfer of consecutive blocks leaves one range per
// contiguous section. Addresses are 32-bit; a write must end at or below 2^32.
class SparseMemory {
 public:
  struct Range {
    uint32_t start;
    const std::vector<uint8_t>* bytes;
  };

  // Stores n bytes at address (later writes replace earlier bytes). False, and nothing
  // stored, when the write would run past the 32-bit address space.
  bool Write(uint32_t address, const uint8_t* data, size_t n);

  // Copies n bytes from address; false when any of them was never written.
  bool Read(uint32_t address, size_t n, std::vector<uint8_t>* out) const;

  // The coalesced ranges in address order.
  std::vector<Range> Ranges() const;

  uint64_t TotalBytes() const { return total_; }
  void Clear();

 private:
  std::map<uint64_t, std::vector<uint8_t>> ranges_;  // start -> bytes
  uint64_t total_ = 0;
};

}  // namespace velmar::toolsim
