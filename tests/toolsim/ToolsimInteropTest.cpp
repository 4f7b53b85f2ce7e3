// The virtual tool checked by Modbus masters nobody here wrote: libmodbus as an RTU master on
// the tool's pseudo-terminal, and the mbpoll command. libmodbus 3.1 addresses RTU slaves 1 to
// 247 only, so the second map is served at 247 for it (the map does not depend on the address).
#ifdef VELMAR_HAVE_LIBMODBUS
#include <errno.h>
#include <gtest/gtest.h>
#include <modbus.h>
#include <unistd.h>

#include <memory>

#include "ToolProfile.h"
#include "VirtualTool.h"
#include "support/Pty.h"
#include "support/UpdateTestSupport.h"

namespace velmar::toolsim {
namespace {

using namespace std::chrono_literals;

// A shipped profile on COM31, registered in a temporary port directory for one test, with
// restarts made quick.
class ToolsimInteropTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (context_) {
      modbus_close(context_);
      modbus_free(context_);
    }
    tool_.reset();
  }

  VirtualTool& Start(const std::string& profile_name, uint8_t slave_address) {
    VirtualToolOptions options;
    std::string error;
    EXPECT_EQ(LoadProfile(ShippedProfilePath(profile_name), &options.profile, &error), 0) << error;
    options.profile.slave_address = slave_address;
    options.port_number = 31;
    options.restart_delay = 30ms;
    options.restart_grace = 20ms;
    options.progress_interval = 20ms;
    tool_ = std::make_unique<VirtualTool>(std::move(options));
    EXPECT_EQ(tool_->Start(&error), 0) << error;
    return *tool_;
  }
  // libmodbus as the master; it holds the port until the test ends.
  modbus_t* Connect(int slave) {
    context_ = modbus_new_rtu(tool_->LinkPath().c_str(), 57600, 'E', 8, 1);
    EXPECT_NE(context_, nullptr);
    EXPECT_EQ(modbus_set_slave(context_, slave), 0);
    modbus_set_response_timeout(context_, 1, 0);
    EXPECT_EQ(modbus_connect(context_), 0) << modbus_strerror(errno);
    return context_;
  }

  velmar::testing::TempPortDir dir_;  // also the program's port directory
  std::unique_ptr<VirtualTool> tool_;
  modbus_t* context_ = nullptr;
};

TEST_F(ToolsimInteropTest, LibmodbusReadsAndWritesTheFirstMap) {
  VirtualTool& tool = Start("protocol1.json", 127);
  modbus_t* modbus = Connect(127);
  uint16_t registers[18] = {};
  ASSERT_EQ(modbus_read_registers(modbus, 0xF700, 3, registers), 3) << modbus_strerror(errno);
  EXPECT_EQ(registers[2], 0xC800);  // block size 200, little-endian inside the payload
  ASSERT_EQ(modbus_read_registers(modbus, 0xF000, 18, registers), 18) << modbus_strerror(errno);
  EXPECT_EQ(registers[2], 0x514C);  // "QL"
  EXPECT_EQ(registers[3], 0x372D);  // "7-"

  // A block of 4 bytes at 0x00000100: the address little-endian, then the data.
  const uint16_t block[4] = {0x0001, 0x0000, 0xCAFE, 0xBABE};
  ASSERT_EQ(modbus_write_registers(modbus, 0xF500, 4, block), 4) << modbus_strerror(errno);
  std::vector<uint8_t> memory;
  ASSERT_TRUE(tool.ReadMemory(0x100, 4, &memory));
  EXPECT_EQ(memory, (std::vector<uint8_t>{0xCA, 0xFE, 0xBA, 0xBE}));

  errno = 0;
  EXPECT_EQ(modbus_read_registers(modbus, 0x1234, 1, registers), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_read_registers(modbus, 0xF700, 4, registers), -1);  // past the block
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(modbus, 0xF500, 1), -1);
  EXPECT_EQ(errno, EMBXILFUN);

  ASSERT_EQ(modbus_write_bit(modbus, 0x7D01, 1), 1) << modbus_strerror(errno);
  EXPECT_TRUE(tool.WaitUntil(
      [](const ToolState& state, const PortState&) { return state.restarts == 1; }, 5s));
}

TEST_F(ToolsimInteropTest, LibmodbusReadsTheInformationRecordAndWritesZoneAndCountry) {
  VirtualTool& tool = Start("protocol2.json", 247);
  modbus_t* modbus = Connect(247);
  uint16_t registers[20] = {};
  ASSERT_EQ(modbus_read_registers(modbus, 0x400B, 1, registers), 1) << modbus_strerror(errno);
  EXPECT_EQ(registers[0], 0x0B40);  // the probe echoes 0x400B low byte first
  ASSERT_EQ(modbus_read_registers(modbus, 0xA500, 20, registers), 20) << modbus_strerror(errno);
  EXPECT_EQ(registers[2], 0x302E);  // boot "0.95" from byte 4
  EXPECT_EQ(registers[5], 0x312E);  // software "1.00" from byte 10
  EXPECT_EQ(registers[6], 0x3030);

  const uint16_t zone_country[2] = {0x0300, 0x3100};
  ASSERT_EQ(modbus_write_registers(modbus, 0xA5AB, 2, zone_country), 2) << modbus_strerror(errno);
  const ToolState state = tool.State();
  EXPECT_EQ(state.zone, 3);
  EXPECT_EQ(state.country, 49);

  EXPECT_EQ(modbus_read_registers(modbus, 0xF700, 3, registers), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_registers(modbus, 0xA5AB, 1, zone_country), -1);
  EXPECT_EQ(errno, EMBXILVAL);
}

#ifdef VELMAR_MBPOLL
TEST_F(ToolsimInteropTest, MbpollReadsWritesAndSeesExceptions) {
  VirtualTool& tool = Start("protocol2.json", 247);
  const std::vector<std::string> common = {VELMAR_MBPOLL, "-m",   "rtu", "-a", "247", "-b", "57600",
                                           "-P",          "even", "-0",  "-1", "-o",  "1"};
  auto run = [&](std::vector<std::string> extra) {
    std::vector<std::string> arguments = common;
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const auto mbpoll = velmar::testing::RunProgram(arguments);
    EXPECT_NE(mbpoll.exit, -1);
    return mbpoll.out + mbpoll.err;
  };
  const std::string block_size = run({"-t", "4:hex", "-r", "0xA510", "-c", "2", tool.LinkPath()});
  EXPECT_NE(block_size.find("0x8000"), std::string::npos) << block_size;
  const std::string written = run({"-t", "4", "-r", "0xA5AB", tool.LinkPath(), "1280", "8448"});
  EXPECT_NE(written.find("Written 2 references"), std::string::npos) << written;
  EXPECT_EQ(tool.State().zone, 5);
  EXPECT_EQ(tool.State().country, 33);
  const std::string refused = run({"-t", "4:hex", "-r", "0x1234", tool.LinkPath()});
  EXPECT_NE(refused.find("Illegal data address"), std::string::npos) << refused;
}
#endif

}  // namespace
}  // namespace velmar::toolsim
#endif  // VELMAR_HAVE_LIBMODBUS
