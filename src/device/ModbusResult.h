#pragma once
#include <cstdint>

namespace velmar {

// Outcome of one Modbus request. The negative byte-level results of SerialPort::Read
// (-1 read failed, -2 port closed) share this space unchanged.
enum ModbusResult : int32_t {
  MB_OK = 0,
  MB_FAILED = -1,
  MB_PORT_CLOSED = -2,
  MB_BAD_CRC = -3,
  MB_SHORT_REPLY = -4,
  MB_WRONG_SLAVE = -5,
  MB_EXCEPTION = -6,
};

// A few words for logs and traces ("bad checksum"); unknown values give "unknown result".
const char* ModbusResultName(int32_t result);

}  // namespace velmar
