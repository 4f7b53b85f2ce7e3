#include "server/OptionCodeSet.h"

namespace velmar {

bool OptionCodeSet::Contains(uint16_t code, int* index) const {
  for (size_t i = 0; i < codes_.size(); ++i) {
    if (codes_[i] == code) {
      if (index != nullptr) *index = static_cast<int>(i);
      return true;
    }
  }
  if (index != nullptr) *index = -1;
  return false;
}

void OptionCodeSet::Add(uint16_t code) {
  if (!Contains(code)) codes_.push_back(code);
}

uint16_t OptionCodeSet::At(int index) const {
  if (index < 0 || index >= Count()) return 0;
  return codes_[static_cast<size_t>(index)];
}

}  // namespace velmar
