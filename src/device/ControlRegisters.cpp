#include "device/ControlRegisters.h"

#include "device/ModbusMaster.h"
#include "device/RegisterPayload.h"

namespace velmar {

namespace {
constexpr uint16_t kProbeBase = 0x4000;
constexpr uint16_t kRestartCoil = 0x7D01;
constexpr uint8_t kCoilOn = 255;
constexpr uint16_t kFinishRegister = 0x0000;
constexpr uint8_t kFinishCommand[2] = {0x00, 0x07};
}  // namespace

ControlRegisters::~ControlRegisters() = default;

int ControlRegisters::Probe(uint16_t n) {
  const uint16_t address = static_cast<uint16_t>(kProbeBase + n);
  uint8_t reply[2] = {};
  if (master_->ReadHoldingRegisters(1, address, reply) != MB_OK) return -1;
  return payload::U16(reply) == address ? 0 : 1;
}

int ControlRegisters::WriteRestartCoil() {
  return payload::ToDeviceResult(master_->WriteSingleCoil(kRestartCoil, kCoilOn));
}

int ControlRegisters::WriteFinishCommand() {
  return payload::ToDeviceResult(
      master_->WriteMultipleRegisters(1, kFinishRegister, kFinishCommand));
}

}  // namespace velmar
