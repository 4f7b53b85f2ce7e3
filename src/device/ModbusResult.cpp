#include "device/ModbusResult.h"

namespace velmar {

const char* ModbusResultName(int32_t result) {
  switch (result) {
    case MB_OK:
      return "ok";
    case MB_FAILED:
      return "failed (no port, no attempt, nothing valid received or read error)";
    case MB_PORT_CLOSED:
      return "serial port closed";
    case MB_BAD_CRC:
      return "bad checksum";
    case MB_SHORT_REPLY:
      return "reply too short (tool silent?)";
    case MB_WRONG_SLAVE:
      return "reply from another slave address";
    case MB_EXCEPTION:
      return "tool answered with an exception";
  }
  return "unknown result";
}

}  // namespace velmar
