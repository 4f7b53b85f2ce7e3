#include "device/Protocol1Registers.h"

#include <algorithm>

#include "device/ModbusMaster.h"
#include "device/RegisterPayload.h"

namespace velmar {

namespace {
constexpr uint16_t kSerialNumberRegister = 0xF000;
constexpr uint16_t kSerialNumberQuantity = 18;
constexpr size_t kMaxSerialNumberLength = 32;
constexpr uint16_t kHardwareVersionRegister = 0xF100;
constexpr uint16_t kBootVersionRegister = 0xF200;
constexpr uint16_t kSoftwareVersionRegister = 0xF300;
constexpr uint16_t kVersionQuantity = 7;
constexpr size_t kVersionTextEnd = 13;  // byte 13 is forced to zero
constexpr size_t kTextOffset = 4;       // bytes 0 to 3 are not used
constexpr uint16_t kBlockRegister = 0xF500;
constexpr uint8_t kBlockPad = payload::kProtocol1BlockPad;
constexpr uint16_t kFinishRegister = 0xF600;
constexpr uint16_t kFinishQuantity = 18;
constexpr uint32_t kFinishCode = 0xF6000000;
constexpr uint16_t kStatusRegister = 0xF700;
constexpr uint16_t kStatusQuantity = 3;
}  // namespace

Protocol1Registers::~Protocol1Registers() = default;

int Protocol1Registers::ReadP1BlockSize(uint32_t& size) {
  uint8_t status[2 * kStatusQuantity] = {};
  if (master_->ReadHoldingRegisters(kStatusQuantity, kStatusRegister, status) != MB_OK) return -1;
  size = payload::U16(status + 4);
  return 0;
}

int Protocol1Registers::ReadP1SerialNumber(std::string& text) {
  uint8_t block[2 * kSerialNumberQuantity] = {};
  size_t received = 0;
  if (master_->ReadHoldingRegisters(kSerialNumberQuantity, kSerialNumberRegister, block,
                                    &received) != MB_OK)
    return -1;
  text = payload::TextAt(block, received, kTextOffset, kMaxSerialNumberLength);
  return 0;
}

int Protocol1Registers::ReadP1HardwareVersion(std::string& text) {
  return ReadVersionText(kHardwareVersionRegister, text);
}

int Protocol1Registers::ReadP1BootVersion(std::string& text) {
  return ReadVersionText(kBootVersionRegister, text);
}

int Protocol1Registers::ReadP1SoftwareVersion(std::string& text) {
  return ReadVersionText(kSoftwareVersionRegister, text);
}

int Protocol1Registers::ReadVersionText(uint16_t start, std::string& text) {
  uint8_t block[2 * kVersionQuantity] = {};
  size_t received = 0;
  if (master_->ReadHoldingRegisters(kVersionQuantity, start, block, &received) != MB_OK) return -1;
  text = payload::TextAt(block, std::min(received, kVersionTextEnd), kTextOffset,
                         kVersionTextEnd - kTextOffset);
  return 0;
}

int Protocol1Registers::WriteP1Block(uint32_t address, const uint8_t* data, size_t size) {
  uint8_t block[payload::kMaxBlockPayload];
  const uint16_t registers = payload::BuildBlockPayload(block, address, data, size, kBlockPad);
  if (registers == 0) return -1;
  return payload::ToDeviceResult(master_->WriteMultipleRegisters(registers, kBlockRegister, block));
}

int Protocol1Registers::WriteP1Finish() {
  uint8_t command[2 * kFinishQuantity] = {};
  payload::PutU32(command, kFinishCode);
  return payload::ToDeviceResult(
      master_->WriteMultipleRegisters(kFinishQuantity, kFinishRegister, command));
}

}  // namespace velmar
