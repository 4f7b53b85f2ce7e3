// Our master against a Modbus slave nobody here wrote: libmodbus's RTU server on the far end
// of a pseudo-terminal. If our frames or CRC were non-standard, libmodbus would drop them.
#ifdef VELMAR_HAVE_LIBMODBUS
#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <thread>

#include "device/ModbusMaster.h"
#include "device/SerialPort.h"
#include "support/Pty.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::PtyPeer;
using testing::TempPortDir;
using testing::ToHex;

constexpr uint8_t kPort = 77;
constexpr int kSlave = 127;  // libmodbus serves RTU slaves 1 to 247 only
constexpr uint16_t kFirstRegister = 0xF000;
constexpr uint16_t kRegisterCount = 0x800;
constexpr uint16_t kRestartCoil = 0x7D01;

// libmodbus's RTU server loop, on the pty's master side, in a thread of its own.
class LibmodbusSlave {
 public:
  explicit LibmodbusSlave(int fd) {
    context_ = modbus_new_rtu("/dev/null", 57600, 'N', 8, 1);
    modbus_set_slave(context_, kSlave);
    modbus_set_socket(context_, fd);  // serve the pty without libmodbus opening a device
    mapping_ = modbus_mapping_new_start_address(kRestartCoil, 1, 0, 0, kFirstRegister,
                                                kRegisterCount, 0, 0);
    for (uint16_t i = 0; i < kRegisterCount; ++i) mapping_->tab_registers[i] = 0x1000 + i;
    thread_ = std::thread([this] { Serve(); });
  }
  ~LibmodbusSlave() {
    stop_ = true;
    thread_.join();
    modbus_mapping_free(mapping_);
    modbus_free(context_);
  }
  uint16_t Register(uint16_t address) const {
    return mapping_->tab_registers[address - kFirstRegister];
  }
  uint8_t Coil() const { return mapping_->tab_bits[0]; }
  int Requests() const { return requests_; }

 private:
  void Serve() {
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    modbus_set_indication_timeout(context_, 0, 50000);  // wake up to look at stop_
    while (!stop_) {
      const int length = modbus_receive(context_, query);
      if (length > 0) {
        ++requests_;
        modbus_reply(context_, query, length, mapping_);
      }
    }
  }

  modbus_t* context_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
};

class AgainstLibmodbus : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.ok());
    port_.SetPort(kPort);
    ASSERT_EQ(port_.Open(), 1);
    master_.Attach(&port_);
    master_.SetSlaveAddress(kSlave);
    slave_ = std::make_unique<LibmodbusSlave>(peer_.master_fd());
  }

  TempPortDir dir_;
  PtyPeer peer_{kPort};
  SerialPort port_{SystemSerialBinding()};
  ModbusMaster master_;
  std::unique_ptr<LibmodbusSlave> slave_;
};

TEST_F(AgainstLibmodbus, ReadsWritesAndSetsTheRestartCoil) {
  uint8_t data[6] = {};
  ASSERT_EQ(master_.ReadHoldingRegisters(3, 0xF700, data), MB_OK);
  // Registers come back big-endian on the wire: 0x1700 is 17 00.
  EXPECT_EQ(ToHex(Bytes(data, data + 6)), "17 00 17 01 17 02");

  const uint8_t payload[] = {0x34, 0x12, 0x00, 0x00, 0x00, 0xF6};
  ASSERT_EQ(master_.WriteMultipleRegisters(3, 0xF600, payload), MB_OK);
  EXPECT_EQ(slave_->Register(0xF600), 0x3412);
  EXPECT_EQ(slave_->Register(0xF602), 0x00F6);

  ASSERT_EQ(master_.WriteSingleCoil(kRestartCoil, 255), MB_OK);
  EXPECT_EQ(slave_->Coil(), 1);
}

TEST_F(AgainstLibmodbus, UnmappedAddressIsOneExceptionAndAnotherSlaveIsNeverAnswered) {
  uint8_t data[2] = {0xAB, 0xCD};
  port_.SetReadTimeout(100);
  port_.Configure();
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_EXCEPTION);
  EXPECT_EQ(slave_->Requests(), 1);
  port_.SetReadTimeout(50);
  port_.Configure();
  master_.SetSlaveAddress(42);
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0xF000, data), MB_SHORT_REPLY);
  EXPECT_EQ(data[0], 0xAB) << "the destination stays untouched";
}

}  // namespace
}  // namespace velmar
#endif
