#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace velmar {

class ModbusMaster;

// The small register map of a Protocol1 tool (slave 127): identity texts at 0xF000 to 0xF300,
// block writes at 0xF500, the finish command at 0xF600 and the status block at 0xF700.
class Protocol1Registers {
 public:
  explicit Protocol1Registers(ModbusMaster* master) : master_(master) {}
  virtual ~Protocol1Registers();

 protected:
  // Bytes 4 to 5 of 0xF700, as the tool reports them (not yet clamped).
  int ReadP1BlockSize(uint32_t& size);
  int ReadP1SerialNumber(std::string& text);
  int ReadP1HardwareVersion(std::string& text);
  int ReadP1BootVersion(std::string& text);
  int ReadP1SoftwareVersion(std::string& text);
  // An odd total is padded with 0x00; a block above 242 bytes is refused unsent (-1).
  int WriteP1Block(uint32_t address, const uint8_t* data, size_t size);
  int WriteP1Finish();

 private:
  int ReadVersionText(uint16_t start, std::string& text);

  ModbusMaster* master_;
};

}  // namespace velmar
