#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmar {

// A selection of option codes without duplicates, in order of insertion.
class OptionCodeSet {
 public:
  // True when code is present; index (when given) receives its place, or -1.
  bool Contains(uint16_t code, int* index = nullptr) const;
  // Appends code unless it is present already.
  void Add(uint16_t code);
  void Clear() { codes_.clear(); }
  int Count() const { return static_cast<int>(codes_.size()); }
  // The code at index; 0 when there is none.
  uint16_t At(int index) const;
  const std::vector<uint16_t>& Codes() const { return codes_; }

 private:
  std::vector<uint16_t> codes_;
};

}  // namespace velmar
