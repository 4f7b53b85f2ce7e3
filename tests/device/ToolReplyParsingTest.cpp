// How the facade reads the tool's replies: identity texts, hardware names, options, databases
// and sensor records, including replies whose counts and length bytes lie.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ScriptedTool.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/FakeSerial.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::FakeSerialBinding;
using testing::FromHex;
using testing::ScriptedTool;
using testing::TextBytes;
using testing::ToHex;
using testing::WithCrc;

std::string Framed(const std::string& hex) { return ToHex(WithCrc(FromHex(hex))); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes U16(uint16_t value) {
  return Bytes{static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
}

class ToolReplyParsing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(port_.Open(), 1);
    device_.Attach(&port_);
  }

  std::vector<std::string> Sent() {
    std::vector<std::string> frames;
    for (const Bytes& frame : fake_.Written()) frames.push_back(ToHex(frame));
    return frames;
  }
  size_t SentCount() { return fake_.Written().size(); }
  void ClearLine() { fake_.line().written.clear(); }

  void DetectProtocol2(const std::string& software_version = "AB1.00") {
    for (uint16_t n : {0, 11, 12, 13, 22, 23}) tool_.AnswerProbe(n);
    Bytes record(40, 0);
    const std::string boot = "B2.01";
    std::copy(boot.begin(), boot.end(), record.begin() + 4);
    std::copy(software_version.begin(), software_version.end(), record.begin() + 10);
    tool_.Set(255, 0xA500, record);
    tool_.Set(255, 0xA510, Bytes{128, 0, 0, 0});
    ASSERT_EQ(device_.Detect(), 0);
    ASSERT_EQ(device_.Protocol(), DeviceProtocol::Protocol2);
    ClearLine();
  }
  void DetectProtocol1() {
    tool_.Set(127, 0xF700, Bytes{0, 0, 0, 0, 0x80, 0});
    ASSERT_EQ(device_.Detect(), 0);
    ClearLine();
  }

  FakeSerialBinding fake_;
  SerialPort port_{fake_};
  ToolDevice device_;
  ScriptedTool tool_{fake_};
};

// ---- Identity texts ----

TEST_F(ToolReplyParsing, NoProtocolNoIdentity) {
  std::string text = "kept";
  EXPECT_EQ(device_.ReadSerialNumber(text), -1);
  EXPECT_EQ(device_.ReadBootVersion(text), -1);
  EXPECT_EQ(device_.ReadSoftwareVersion(text), -1);
  EXPECT_EQ(device_.ReadHardwareVersion(text), -1);
  EXPECT_EQ(SentCount(), 0u);
}

TEST_F(ToolReplyParsing, Protocol1SerialNumberRunsFromByte4ToZeroOrEnd) {
  DetectProtocol1();
  tool_.Set(127, 0xF000, Concat({Bytes{9, 9, 9, 9}, TextBytes("TPMS-0042"), Bytes{0, 'X'}}));
  std::string serial;
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, "TPMS-0042");
  EXPECT_EQ(Sent(), std::vector<std::string>{Framed("7F 03 F0 00 00 12")});

  tool_.Set(127, 0xF000, Bytes(36, 'S'));
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, std::string(32, 'S'));

  // Only 8 data bytes arrived: the text stops with them.
  tool_.Set(127, 0xF000, Concat({Bytes{0, 0, 0, 0}, TextBytes("ABCD")}), /*exact=*/true);
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, "ABCD");
}

TEST_F(ToolReplyParsing, Protocol1VersionsAreAtMostNineCharacters) {
  DetectProtocol1();
  tool_.Set(127, 0xF100, Concat({Bytes{0, 0, 0, 0}, TextBytes("HW-LONG-NAME")}));
  tool_.Set(127, 0xF200, Concat({Bytes{0, 0, 0, 0}, TextBytes("1.07"), Bytes{0}}));
  tool_.Set(127, 0xF300, Concat({Bytes{0, 0, 0, 0}, TextBytes("5.3.1"), Bytes{0}}));
  std::string text;
  ASSERT_EQ(device_.ReadHardwareVersion(text), 0);
  EXPECT_EQ(text, "HW-LONG-N");
  ASSERT_EQ(device_.ReadBootVersion(text), 0);
  EXPECT_EQ(text, "1.07");
  ASSERT_EQ(device_.ReadSoftwareVersion(text), 0);
  EXPECT_EQ(text, "5.3.1");
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{Framed("7F 03 F1 00 00 07"), Framed("7F 03 F2 00 00 07"),
                                      Framed("7F 03 F3 00 00 07")}));
  tool_.Silence();
  EXPECT_EQ(device_.ReadBootVersion(text), -1);
}

TEST_F(ToolReplyParsing, Protocol2SerialNumberFollowsItsLengthByte) {
  DetectProtocol2();
  std::string serial;
  tool_.Set(255, 0xA502, Concat({Bytes{7}, TextBytes("ABC1234XYZ")}));
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, "ABC1234");
  EXPECT_EQ(Sent(), std::vector<std::string>{Framed("FF 03 A5 02 00 1A")});

  tool_.Set(255, 0xA502, Concat({Bytes{50}, Bytes(51, 'N')}));
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, std::string(50, 'N'));

  tool_.Set(255, 0xA502, Concat({Bytes{10}, TextBytes("AB"), Bytes{0}, TextBytes("CDEF")}));
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, "AB") << "a zero byte ends the text early";
}

TEST_F(ToolReplyParsing, Protocol2SerialNumberLengthAbove50IsEmptyAndSucceeds) {
  DetectProtocol2();
  std::string serial = "old";
  tool_.Set(255, 0xA502, Concat({Bytes{51}, Bytes(51, 'N')}));
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, "");
  tool_.Set(255, 0xA502, Concat({Bytes{255}, Bytes(51, 'N')}));
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, "");
}

TEST_F(ToolReplyParsing, Protocol2SerialNumberStaysInsideTheBytesThatArrived) {
  DetectProtocol2();
  std::string serial;
  tool_.Set(255, 0xA502, Concat({Bytes{50}, TextBytes("SN1")}), /*exact=*/true);
  ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, "SN1");
  tool_.Remove(255, 0xA502);
  EXPECT_EQ(device_.ReadSerialNumber(serial), -1);
}

TEST_F(ToolReplyParsing, Protocol2BootAndSoftwareComeFromTheRecordWithoutTraffic) {
  DetectProtocol2("AB3.456");  // 7 characters: only 6 belong to the field
  std::string text;
  ASSERT_EQ(device_.ReadBootVersion(text), 0);
  EXPECT_EQ(text, "B2.01");
  ASSERT_EQ(device_.ReadSoftwareVersion(text), 0);
  EXPECT_EQ(text, "AB3.45");
  EXPECT_EQ(SentCount(), 0u);
}

// ---- Hardware names ----

TEST_F(ToolReplyParsing, HardwareNamesSkipEmptyAndOverlongNames) {
  DetectProtocol2();
  const Bytes names =
      Concat({TextBytes("HW-A"), Bytes{0, 0}, Bytes(21, 'L'), Bytes{0}, Bytes(20, 'M'), Bytes{0},
              TextBytes("HW-B"), Bytes{0}, TextBytes("TAIL")});
  tool_.Set(255, 0xA501, Concat({Bytes{static_cast<uint8_t>(names.size())}, names}));
  std::string hardware;
  ASSERT_EQ(device_.ReadHardwareVersion(hardware), 0);
  EXPECT_EQ(Sent(), std::vector<std::string>{Framed("FF 03 A5 01 00 64")});
  EXPECT_EQ(hardware, "HW-A");
  EXPECT_EQ(device_.HardwareNames(),
            (std::vector<std::string>{"HW-A", std::string(20, 'M'), "HW-B"}))
      << "a name without its terminator inside the length is no name";
}

TEST_F(ToolReplyParsing, HardwareNameAreaEndsAtItsLengthByte) {
  DetectProtocol2();
  tool_.Set(255, 0xA501,
            Concat({Bytes{4}, TextBytes("ABC"), Bytes{0}, TextBytes("DEF"), Bytes{0}}));
  std::string hardware;
  ASSERT_EQ(device_.ReadHardwareVersion(hardware), 0);
  EXPECT_EQ(device_.HardwareNames(), std::vector<std::string>{"ABC"});
}

TEST_F(ToolReplyParsing, HostileHardwareLengthStaysInsideTheReply) {
  DetectProtocol2();
  std::string hardware = "kept";
  // Length 255 over 199 bytes without any zero: no name, failure.
  tool_.Set(255, 0xA501, Concat({Bytes{255}, Bytes(199, 'Z')}));
  EXPECT_EQ(device_.ReadHardwareVersion(hardware), -1);
  EXPECT_TRUE(device_.HardwareNames().empty());

  // Length 200 but only 9 bytes arrived.
  tool_.Set(
      255, 0xA501,
      Concat({Bytes{200}, TextBytes("AB"), Bytes{0}, TextBytes("CD"), Bytes{0}, TextBytes("EFG")}),
      /*exact=*/true);
  ASSERT_EQ(device_.ReadHardwareVersion(hardware), 0);
  EXPECT_EQ(device_.HardwareNames(), (std::vector<std::string>{"AB", "CD"}));

  tool_.Set(255, 0xA501, Bytes{}, /*exact=*/true);
  EXPECT_EQ(device_.ReadHardwareVersion(hardware), -1);
  tool_.Set(255, 0xA501, Bytes{0});
  EXPECT_EQ(device_.ReadHardwareVersion(hardware), -1) << "no name at all";
}

// ---- Options ----

TEST_F(ToolReplyParsing, OptionsGetTheirStatesAndVersions) {
  DetectProtocol2();
  tool_.Set(255, 0xA5A1, Concat({U16(2), U16(0x0101), U16(1), U16(0x0202), U16(0)}));
  tool_.Set(255, 0xA5A3,
            Concat({U16(3), U16(0x0999), TextBytes("X9"), Bytes{0}, U16(0x0202), TextBytes("V2.0"),
                    Bytes{0}, U16(0x0101), TextBytes("1234567890"), Bytes{0}}));
  ASSERT_EQ(device_.ReadOptions(), 0);
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{Framed("FF 03 A5 A1 00 78"), Framed("FF 03 A5 A3 00 78")}));
  ASSERT_EQ(device_.OptionCount(), 2);
  EXPECT_EQ(device_.IsOptionActive(0x0101), 1);
  EXPECT_EQ(device_.IsOptionActive(0x0202), 0);
  EXPECT_EQ(device_.IsOptionActive(0x0999), 0) << "unknown code";

  std::string version = "old";
  EXPECT_EQ(device_.OptionVersion(0x0202, version), 0);
  EXPECT_EQ(version, "V2.0") << "the unknown code before it did not disturb it";
  EXPECT_EQ(device_.OptionVersion(0x0101, version), -1) << "10 characters are too many";
  EXPECT_EQ(version, "");
  EXPECT_EQ(device_.OptionVersion(0x0999, version), -1);
}

TEST_F(ToolReplyParsing, OptionCountAbove100GivesAnEmptyListAndSuccess) {
  DetectProtocol2();
  tool_.Set(255, 0xA5A1, Concat({U16(101), U16(1), U16(1)}));
  tool_.Set(255, 0xA5A3, U16(0));
  ASSERT_EQ(device_.ReadOptions(), 0);
  EXPECT_EQ(device_.OptionCount(), 0);
}

TEST_F(ToolReplyParsing, OptionCountBeyondTheReplyTakesOnlyWholeEntries) {
  DetectProtocol2();
  Bytes list = U16(100);
  for (uint16_t k = 0; k < 59; ++k)
    list = Concat({list, U16(static_cast<uint16_t>(k + 1)), U16(1)});
  tool_.Set(255, 0xA5A1, list);  // 2 + 59 * 4 = 238 of the 240 bytes
  tool_.Set(255, 0xA5A3, U16(0));
  ASSERT_EQ(device_.ReadOptions(), 0);
  EXPECT_EQ(device_.OptionCount(), 59);
  EXPECT_EQ(device_.Options().back().code, 59);

  tool_.Set(255, 0xA5A1, Concat({U16(5), U16(7), U16(1), U16(8)}), /*exact=*/true);
  ASSERT_EQ(device_.ReadOptions(), 0);
  ASSERT_EQ(device_.OptionCount(), 1) << "the half entry that arrived is dropped";
  EXPECT_EQ(device_.Options()[0].code, 7);
}

TEST_F(ToolReplyParsing, HostileVersionCountStopsAtTheEndOfTheReply) {
  DetectProtocol2();
  tool_.Set(255, 0xA5A1, Concat({U16(1), U16(0x0042), U16(1)}));
  // A count of 65535 and a last text that never ends.
  tool_.Set(255, 0xA5A3,
            Concat({U16(0xFFFF), U16(0x0042), TextBytes("1.2"), Bytes{0}, U16(0x0042),
                    Bytes(230, 'Q')}));  // 240 bytes, no zero
  ASSERT_EQ(device_.ReadOptions(), 0);
  std::string version;
  EXPECT_EQ(device_.OptionVersion(0x0042, version), 0);
  EXPECT_EQ(version, "1.2");
}

TEST_F(ToolReplyParsing, RepeatedOptionCodeActiveFollowsTheLaterVersionTheFirstEntry) {
  DetectProtocol2();
  tool_.Set(255, 0xA5A1, Concat({U16(2), U16(5), U16(1), U16(5), U16(0)}));
  tool_.Set(255, 0xA5A3, Concat({U16(1), U16(5), TextBytes("2.1"), Bytes{0}}));
  ASSERT_EQ(device_.ReadOptions(), 0);
  EXPECT_EQ(device_.IsOptionActive(5), 0);
  EXPECT_EQ(device_.Options()[0].version, "2.1");
  EXPECT_EQ(device_.Options()[1].version, "");

  tool_.Set(255, 0xA5A1, Concat({U16(2), U16(5), U16(0), U16(5), U16(3)}));
  ASSERT_EQ(device_.ReadOptions(), 0);
  EXPECT_EQ(device_.IsOptionActive(5), 1);
}

TEST_F(ToolReplyParsing, FailedStateReadStillAsksForVersionsAndFails) {
  DetectProtocol2();
  tool_.Set(255, 0xA5A1, Concat({U16(1), U16(5), U16(1)}));
  tool_.Set(255, 0xA5A3, U16(0));
  ASSERT_EQ(device_.ReadOptions(), 0);
  ASSERT_EQ(device_.OptionCount(), 1);

  tool_.Remove(255, 0xA5A1);
  ClearLine();
  EXPECT_EQ(device_.ReadOptions(), -1);
  EXPECT_EQ(device_.OptionCount(), 0) << "the old list is gone";
  EXPECT_EQ(Sent().back(), Framed("FF 03 A5 A3 00 78"));

  tool_.Set(255, 0xA5A1, Concat({U16(1), U16(5), U16(1)}));
  tool_.Remove(255, 0xA5A3);
  EXPECT_EQ(device_.ReadOptions(), 0) << "versions are optional";
  EXPECT_EQ(device_.OptionCount(), 1);
}

// ---- Databases ----

TEST_F(ToolReplyParsing, DatabaseNamesSharingTheSoftwarePrefixBecomeTheLabel) {
  DetectProtocol2("AB1.00");
  tool_.Set(
      255, 0xA5AA,
      Concat({TextBytes("AB1"), Bytes{0}, TextBytes("XY2"), Bytes{0}, TextBytes("AB9"), Bytes{0}}));
  const size_t applied = fake_.line().timeouts.size();
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{Framed("FF 03 40 16 00 01"), Framed("FF 03 A5 AA 00 4B")}));
  EXPECT_EQ(device_.Databases(), std::vector<std::string>{"XY2"});
  std::string label;
  ASSERT_EQ(device_.SoftwareLabel(label), 0);
  EXPECT_EQ(label, "AB9");
  EXPECT_EQ(device_.DatabaseCount(), 1);
  EXPECT_EQ(device_.DatabaseName(0), "XY2");
  EXPECT_EQ(device_.DatabaseName(1), "");
  EXPECT_EQ(device_.DatabaseName(-1), "");

  // The read ran under the long time-out, and the old one is back.
  ASSERT_EQ(fake_.line().timeouts.size(), applied + 2);
  EXPECT_EQ(fake_.line().timeouts[applied].read_interval, 3000u);
  EXPECT_EQ(fake_.line().timeouts[applied + 1].read_interval, 300u);
  EXPECT_EQ(port_.ReadTimeout(), 300u);
}

TEST_F(ToolReplyParsing, DatabaseWalkEndsAtAnEmptyOrTwentyCharacterName) {
  DetectProtocol2("ZZ");
  tool_.Set(255, 0xA5AA,
            Concat({TextBytes("DB1"), Bytes{0}, Bytes(19, 'N'), Bytes{0}, Bytes(20, 'L'), Bytes{0},
                    TextBytes("DB3"), Bytes{0}}));
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(device_.Databases(), (std::vector<std::string>{"DB1", std::string(19, 'N')}));

  tool_.Set(255, 0xA5AA, Concat({TextBytes("DB1"), Bytes{0, 0}, TextBytes("DB2"), Bytes{0}}));
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(device_.Databases(), std::vector<std::string>{"DB1"});

  tool_.Set(255, 0xA5AA, Bytes(150, 'W'));
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(device_.DatabaseCount(), 0);
}

TEST_F(ToolReplyParsing, DatabaseNameRunningToTheEndOfTheReplyEndsThere) {
  DetectProtocol2("ZZ");
  tool_.Set(255, 0xA5AA, Concat({TextBytes("DB1"), Bytes{0}, TextBytes("DB2")}),
            /*exact=*/true);
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(device_.Databases(), (std::vector<std::string>{"DB1", "DB2"}));

  // 150 bytes of names filling the reply to its last byte.
  Bytes full;
  for (int i = 0; i < 15; ++i)
    full = Concat({full, TextBytes("NAME" + std::to_string(i % 10) + "xxxx"), Bytes{0}});
  ASSERT_EQ(full.size(), 150u);
  full.back() = 'y';
  tool_.Set(255, 0xA5AA, full);
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(device_.DatabaseCount(), 15);
  EXPECT_EQ(device_.DatabaseName(14), "NAME4xxxxy");
}

TEST_F(ToolReplyParsing, FailedDatabaseProbeClearsTheListButKeepsTheLabel) {
  DetectProtocol2("AB1.00");
  tool_.Set(255, 0xA5AA, Concat({TextBytes("AB7"), Bytes{0}, TextBytes("XY2"), Bytes{0}}));
  ASSERT_EQ(device_.ReadDatabases(), 0);

  tool_.Set(255, 0x4016, Bytes{0, 0});
  const size_t applied = fake_.line().timeouts.size();
  EXPECT_EQ(device_.ReadDatabases(), -1);
  EXPECT_EQ(device_.DatabaseCount(), 0);
  EXPECT_EQ(fake_.line().timeouts.size(), applied) << "no time-out change without the probe";
  std::string label;
  ASSERT_EQ(device_.SoftwareLabel(label), 0);
  EXPECT_EQ(label, "AB7");

  tool_.AnswerProbe(22);
  tool_.Remove(255, 0xA5AA);
  EXPECT_EQ(device_.ReadDatabases(), 0) << "a failed name read still succeeds";
  EXPECT_EQ(device_.DatabaseCount(), 0);
  EXPECT_EQ(port_.ReadTimeout(), 300u);
}

TEST_F(ToolReplyParsing, NoLabelWithoutAMatchingName) {
  DetectProtocol2("");
  tool_.Set(255, 0xA5AA, Concat({TextBytes("AB7"), Bytes{0}}));
  ASSERT_EQ(device_.ReadDatabases(), 0);
  std::string label = "kept";
  EXPECT_EQ(device_.SoftwareLabel(label), -1);
  EXPECT_EQ(label, "kept");
  EXPECT_EQ(device_.Databases(), std::vector<std::string>{"AB7"});
}

// ---- Sensor records ----

TEST_F(ToolReplyParsing, SensorHeaderCarriesCountAndStoredFlag) {
  DetectProtocol2();
  tool_.Set(255, 0xA700, FromHex("03 00 01 00"));
  SensorRecordHeader header;
  ASSERT_EQ(device_.ReadSensorRecordCount(header), 0);
  EXPECT_EQ(header.record_count, 3);
  EXPECT_EQ(header.info_stored, 1);
  EXPECT_EQ(Sent(), std::vector<std::string>{Framed("FF 03 A7 00 00 02")});
  tool_.Remove(255, 0xA700);
  EXPECT_EQ(device_.ReadSensorRecordCount(header), -1);
}

TEST_F(ToolReplyParsing, SensorRecordTextIsCopiedWithItsTerminator) {
  DetectProtocol2();
  tool_.Set(255, 0xA702, Concat({TextBytes("Sensor 2\r\n"), Bytes{0}, TextBytes("junk")}));
  char text[200];
  std::memset(text, '#', sizeof text);
  ASSERT_EQ(device_.ReadSensorRecordText(2, text, sizeof text), 0);
  EXPECT_EQ(Sent(), std::vector<std::string>{Framed("FF 03 A7 02 00 50")});
  EXPECT_STREQ(text, "Sensor 2\r\n");
  EXPECT_EQ(text[11], '#');

  tool_.Set(255, 0xA703, Bytes{0});
  std::memset(text, '#', sizeof text);
  ASSERT_EQ(device_.ReadSensorRecordText(3, text, sizeof text), 0);
  EXPECT_EQ(text[0], '#') << "an empty record leaves the destination untouched";

  EXPECT_EQ(device_.ReadSensorRecordText(4, text, sizeof text), -1);
}

TEST_F(ToolReplyParsing, FullSensorRecordIsAll160BytesOrTheCapacity) {
  DetectProtocol2();
  tool_.Set(255, 0xA701, Bytes(160, 'R'));
  char text[200];
  std::memset(text, '#', sizeof text);
  ASSERT_EQ(device_.ReadSensorRecordText(1, text, sizeof text), 0);
  EXPECT_EQ(std::string(text), std::string(160, 'R'));

  std::memset(text, '#', sizeof text);
  ASSERT_EQ(device_.ReadSensorRecordText(1, text, 10), 0);
  EXPECT_EQ(std::string(text, 10), std::string(10, 'R'));
  EXPECT_EQ(text[10], '#') << "nothing beyond the capacity";

  std::string record;
  ASSERT_EQ(device_.ReadSensorRecordText(1, record), 0);
  EXPECT_EQ(record.size(), 160u);
}

TEST_F(ToolReplyParsing, SensorRecordAddressWrapsAt65536) {
  DetectProtocol2();
  tool_.Set(255, 0xA6FF, TextBytes("wrapped"));
  std::string record;
  ASSERT_EQ(device_.ReadSensorRecordText(0xFFFF, record), 0);
  EXPECT_EQ(record, "wrapped");
  EXPECT_EQ(Sent(), std::vector<std::string>{Framed("FF 03 A6 FF 00 50")});
}

}  // namespace
}  // namespace velmar
