#pragma once
#include <cstddef>
#include <cstdint>

namespace velmar {

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final xor), table-driven.
// On the wire the low byte comes first.
uint16_t ModbusCrc16(const uint8_t* data, size_t count);

}  // namespace velmar
