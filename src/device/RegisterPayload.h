#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/ModbusResult.h"

// Helpers for the tool's register payloads: numbers are little-endian, texts are 8-bit and
// end at a zero byte or at the end of the bytes that actually arrived.
namespace velmar::payload {

inline uint16_t U16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

inline void PutU16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>(value >> 8);
}

inline void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The text starting at offset: up to the first zero byte, at most max_length characters,
// never past available bytes.
inline std::string TextAt(const uint8_t* data, size_t available, size_t offset, size_t max_length) {
  std::string text;
  for (size_t i = offset; i < available && text.size() < max_length && data[i] != 0; ++i)
    text.push_back(static_cast<char>(data[i]));
  return text;
}

// The largest block one write carries: 4 address bytes + 242 data bytes = 123 registers,
// the most a 255-byte frame holds.
constexpr size_t kMaxBlockData = 242;
constexpr size_t kMaxBlockPayload = 4 + kMaxBlockData;

// Lays out a block write: the 32-bit target address (little-endian), the data, and one pad
// byte when the total is odd. Returns the register count, or 0 when the block is too large.
// What fills the last byte of a block of odd length, by register map; the tool keeps it.
inline constexpr uint8_t kProtocol1BlockPad = 0x00;
inline constexpr uint8_t kProtocol2BlockPad = 0xFF;

inline uint16_t BuildBlockPayload(uint8_t (&out)[kMaxBlockPayload], uint32_t address,
                                  const uint8_t* data, size_t size, uint8_t pad) {
  if (size > kMaxBlockData || (data == nullptr && size != 0)) return 0;
  PutU32(out, address);
  for (size_t i = 0; i < size; ++i) out[4 + i] = data[i];
  const size_t total = 4 + size;
  if (total % 2 != 0) out[total] = pad;
  return static_cast<uint16_t>((total + 1) / 2);
}

// The facade's reduction of a request's outcome.
inline int ToDeviceResult(ModbusResult result) { return result == MB_OK ? 0 : -1; }

}  // namespace velmar::payload
