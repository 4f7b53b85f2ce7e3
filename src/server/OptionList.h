#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velmar {

// One option of the catalogue, a plain record copied by value. Text fields hold at most
// size - 1 characters and a terminating zero; a new record is all zero.
struct OptionRecord {
  uint16_t code = 0;
  uint8_t set = 0;  // 1 switch on in the tool, 2 switch off, other values no change
  int32_t visible = 0;
  int32_t edit = 0;
  int32_t sd = 0;
  char name[80] = {};
  char desc[100] = {};
  char base[10] = {};
  char sigle[10] = {};
  char ver[10] = {};
};

// The options the server offers ("list_options"), in reply order.
class OptionList {
 public:
  // Replaces the list with the "option" elements of reply. The walk consumes the reply:
  // it is empty afterwards.
  void Read(std::string& reply);
  void Clear() { options_.clear(); }
  int Count() const { return static_cast<int>(options_.size()); }
  // Zeroes record; copies the option at index into it and returns 0, or returns -1.
  int OptionAt(int index, OptionRecord& record) const;
  // Zeroes record; the last option with this code ends up in it. 0 when found, else -1.
  int FindByCode(uint16_t code, OptionRecord& record) const;
  // True when some option is to be listed in the window.
  bool AnyVisible() const;

 private:
  std::vector<OptionRecord> options_;
};

}  // namespace velmar
