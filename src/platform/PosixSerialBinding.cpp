#include "platform/SerialBinding.h"

namespace velmar {

namespace {
class PosixSerialBinding : public SerialBinding {
 public:
  std::unique_ptr<SerialChannel> Open(uint8_t) override { return nullptr; }
};
}  // namespace

SerialBinding& SystemSerialBinding() {
  static PosixSerialBinding binding;
  return binding;
}

}  // namespace velmar
