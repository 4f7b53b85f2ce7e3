// How the facade reads the tool's replies: identity texts, hardware names, options, databases
// and sensor records, including replies whose counts and length bytes lie.
#include <gtest/gtest.h>

#include <tuple>

#include <cstring>
#include <string>
#include <vector>

#include "ScriptedTool.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::Framed;
using testing::FromHex;
using testing::TextBytes;
using Frames = std::vector<std::string>;
using Names = std::vector<std::string>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes U16(uint16_t value) {
  return Bytes{static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
}

// A text behind four unrelated bytes, as the Protocol1 identity registers hold it.
Bytes After4(const Bytes& text) { return Concat({Bytes{9, 9, 9, 9}, text}); }

using ToolReplyParsing = testing::ToolOnFakeLine;

// ---- Identity texts ----

TEST_F(ToolReplyParsing, NoIdentityWithoutAProtocolAndProtocol2VersionsFromTheRecord) {
  std::string boot, software;
  EXPECT_EQ(device_.ReadSerialNumber(boot), -1);
  EXPECT_EQ(device_.ReadBootVersion(boot), -1);
  EXPECT_EQ(device_.ReadSoftwareVersion(boot), -1);
  EXPECT_EQ(device_.ReadHardwareVersion(boot), -1);
  EXPECT_TRUE(Sent().empty());
  DetectProtocol2(128, "AB3.456");  // 7 characters: only 6 belong to the field
  ASSERT_EQ(device_.ReadBootVersion(boot), 0);
  ASSERT_EQ(device_.ReadSoftwareVersion(software), 0);
  EXPECT_EQ(boot, "B1.02");
  EXPECT_EQ(software, "AB3.45");
  EXPECT_TRUE(Sent().empty()) << "no traffic";
}

TEST_F(ToolReplyParsing, Protocol1SerialNumberRunsFromByte4ToZeroOrEnd) {
  DetectProtocol1();
  const std::tuple<Bytes, bool, std::string> cases[] = {
      {After4(Concat({TextBytes("TPMS-0042"), Bytes{0, 'X'}})), false, "TPMS-0042"},
      {Bytes(36, 'S'), false, std::string(32, 'S')},
      {After4(TextBytes("ABCD")), true, "ABCD"},  // only 8 data bytes arrived
  };
  for (const auto& [stored, exact, want] : cases) {
    tool_.Set(127, 0xF000, stored, exact);
    std::string serial;
    ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
    EXPECT_EQ(serial, want);
  }
  EXPECT_EQ(Sent().front(), Framed("7F 03 F0 00 00 12"));
}

TEST_F(ToolReplyParsing, Protocol1VersionsAreAtMostNineCharacters) {
  DetectProtocol1();
  tool_.Set(127, 0xF100, After4(TextBytes("HW-LONG-NAME")));
  tool_.Set(127, 0xF200, After4(Concat({TextBytes("1.07"), Bytes{0}})));
  tool_.Set(127, 0xF300, After4(Concat({TextBytes("5.3.1"), Bytes{0}})));
  std::string hardware, boot, software;
  ASSERT_EQ(device_.ReadHardwareVersion(hardware), 0);
  ASSERT_EQ(device_.ReadBootVersion(boot), 0);
  ASSERT_EQ(device_.ReadSoftwareVersion(software), 0);
  EXPECT_EQ(hardware, "HW-LONG-N");
  EXPECT_EQ(boot, "1.07");
  EXPECT_EQ(software, "5.3.1");
  EXPECT_EQ(Sent(), (Frames{Framed("7F 03 F1 00 00 07"), Framed("7F 03 F2 00 00 07"),
                            Framed("7F 03 F3 00 00 07")}));
  tool_.Silence();
  EXPECT_EQ(device_.ReadBootVersion(boot), -1);
}

TEST_F(ToolReplyParsing, Protocol2SerialNumberFollowsItsLengthByteWithinTheReply) {
  DetectProtocol2();
  const std::tuple<Bytes, bool, std::string> cases[] = {
      {Concat({Bytes{7}, TextBytes("ABC1234XYZ")}), false, "ABC1234"},
      {Concat({Bytes{50}, Bytes(51, 'N')}), false, std::string(50, 'N')},
      {Concat({Bytes{10}, TextBytes("AB"), Bytes{0}, TextBytes("CDEF")}), false, "AB"},
      // Lengths above 50 give an empty text, and still succeed.
      {Concat({Bytes{51}, Bytes(51, 'N')}), false, ""},
      {Concat({Bytes{255}, Bytes(51, 'N')}), false, ""},
      {Concat({Bytes{50}, TextBytes("SN1")}), true, "SN1"},
  };
  for (const auto& [stored, exact, want] : cases) {
    tool_.Set(255, 0xA502, stored, exact);
    std::string serial = "old";
    ASSERT_EQ(device_.ReadSerialNumber(serial), 0);
    EXPECT_EQ(serial, want);
  }
  EXPECT_EQ(Sent().front(), Framed("FF 03 A5 02 00 1A"));
  tool_.Remove(255, 0xA502);
  std::string serial;
  EXPECT_EQ(device_.ReadSerialNumber(serial), -1);
}

// ---- Hardware names ----

TEST_F(ToolReplyParsing, HardwareNamesStayInsideTheirLengthAndTheReply) {
  DetectProtocol2();
  const Bytes names =
      Concat({TextBytes("HW-A"), Bytes{0, 0}, Bytes(21, 'L'), Bytes{0}, Bytes(20, 'M'), Bytes{0},
              TextBytes("HW-B"), Bytes{0}, TextBytes("TAIL")});
  // Columns as named by the loop below; no names: the read fails.
  const std::tuple<const char*, Bytes, bool, Names> cases[] = {
      // Empty and overlong names are skipped; one without its terminator inside the length is no
      // name.
      {"mixed",
       Concat({Bytes{static_cast<uint8_t>(names.size())}, names}),
       false,
       {"HW-A", std::string(20, 'M'), "HW-B"}},
      {"length ends the area",
       Concat({Bytes{4}, TextBytes("ABC"), Bytes{0}, TextBytes("DEF"), Bytes{0}}),
       false,
       {"ABC"}},
      {"length 255 without a zero", Concat({Bytes{255}, Bytes(199, 'Z')}), false, {}},
      {"length 200, 9 bytes arrived",
       Concat({Bytes{200}, TextBytes("AB"), Bytes{0}, TextBytes("CD"), Bytes{0}, TextBytes("EFG")}),
       true,
       {"AB", "CD"}},
      {"empty reply", Bytes{}, true, {}},
      {"no name at all", Bytes{0}, false, {}},
  };
  for (const auto& [name, stored, exact, names] : cases) {
    tool_.Set(255, 0xA501, stored, exact);
    std::string hardware = "kept";
    EXPECT_EQ(device_.ReadHardwareVersion(hardware), names.empty() ? -1 : 0) << name;
    if (!names.empty()) {
      EXPECT_EQ(hardware, names[0]) << name;
      EXPECT_EQ(device_.HardwareNames(), names) << name;
    }
  }
  EXPECT_TRUE(device_.HardwareNames().empty());
  EXPECT_EQ(Sent().front(), Framed("FF 03 A5 01 00 64"));
}

// ---- Options ----

TEST_F(ToolReplyParsing, OptionsGetTheirStatesAndVersions) {
  DetectProtocol2();
  tool_.Set(255, 0xA5A1, Concat({U16(2), U16(0x0101), U16(1), U16(0x0202), U16(0)}));
  tool_.Set(255, 0xA5A3,
            Concat({U16(3), U16(0x0999), TextBytes("X9"), Bytes{0}, U16(0x0202), TextBytes("V2.0"),
                    Bytes{0}, U16(0x0101), TextBytes("1234567890"), Bytes{0}}));
  ASSERT_EQ(device_.ReadOptions(), 0);
  EXPECT_EQ(Sent(), (Frames{Framed("FF 03 A5 A1 00 78"), Framed("FF 03 A5 A3 00 78")}));
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

TEST_F(ToolReplyParsing, OptionCountsThatLieTakeOnlyWholeEntries) {
  DetectProtocol2();
  tool_.Set(255, 0xA5A3, U16(0));
  Bytes filled = U16(100);
  for (uint16_t k = 0; k < 59; ++k)
    filled = Concat({filled, U16(static_cast<uint16_t>(k + 1)), U16(1)});
  const std::tuple<const char*, Bytes, bool, int, uint16_t> cases[] = {
      {"count above 100: empty list", Concat({U16(101), U16(1), U16(1)}), false, 0, 0},
      {"count beyond the 240 bytes", filled, false, 59, 59},
      {"half an entry arrived", Concat({U16(5), U16(7), U16(1), U16(8)}), true, 1, 7},
      {"the last entry ends at the reply's end", Concat({U16(2), U16(7), U16(1), U16(8), U16(0)}),
       true, 2, 8},
  };
  for (const auto& [name, stored, exact, count, last_code] : cases) {
    tool_.Set(255, 0xA5A1, stored, exact);
    ASSERT_EQ(device_.ReadOptions(), 0) << name;
    ASSERT_EQ(device_.OptionCount(), count) << name;
    if (count > 0) {
      EXPECT_EQ(device_.Options().back().code, last_code) << name;
    }
  }
}

// A hostile version count stops at the end of the reply; a repeated code's state follows the
// later entry, its version goes to the first.
TEST_F(ToolReplyParsing, HostileVersionCountsAndRepeatedCodes) {
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
  DetectProtocol2(200, "AB1.00");
  tool_.Set(
      255, 0xA5AA,
      Concat({TextBytes("AB1"), Bytes{0}, TextBytes("XY2"), Bytes{0}, TextBytes("AB9"), Bytes{0}}));
  const size_t applied = fake_.line().timeouts.size();
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(Sent(), (Frames{Framed("FF 03 40 16 00 01"), Framed("FF 03 A5 AA 00 4B")}));
  EXPECT_EQ(device_.Databases(), Names{"XY2"});
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

TEST_F(ToolReplyParsing, DatabaseWalkEndsAtAnEmptyOrLongNameOrTheEndOfTheReply) {
  DetectProtocol2(200, "ZZ");
  // 150 bytes of names filling the reply to its last byte.
  Bytes full;
  for (int i = 0; i < 15; ++i)
    full = Concat({full, TextBytes("NAME" + std::to_string(i % 10) + "xxxx"), Bytes{0}});
  full.back() = 'y';
  const std::tuple<Bytes, bool, Names> cases[] = {
      {Concat({TextBytes("DB1"), Bytes{0}, Bytes(19, 'N'), Bytes{0}, Bytes(20, 'L'), Bytes{0},
               TextBytes("DB3"), Bytes{0}}),
       false,
       {"DB1", std::string(19, 'N')}},
      {Concat({TextBytes("DB1"), Bytes{0, 0}, TextBytes("DB2"), Bytes{0}}), false, {"DB1"}},
      {Bytes(150, 'W'), false, {}},
      {Concat({TextBytes("DB1"), Bytes{0}, TextBytes("DB2")}), true, {"DB1", "DB2"}},
  };
  for (const auto& [stored, exact, names] : cases) {
    tool_.Set(255, 0xA5AA, stored, exact);
    ASSERT_EQ(device_.ReadDatabases(), 0);
    EXPECT_EQ(device_.Databases(), names);
  }
  tool_.Set(255, 0xA5AA, full);
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(device_.DatabaseCount(), 15);
  EXPECT_EQ(device_.DatabaseName(14), "NAME4xxxxy");
}

// Each read starts from nothing: an earlier tool's label must not pass for this one's, and a
// failed read is a failure, not an empty list.
TEST_F(ToolReplyParsing, AFailedDatabaseReadClearsTheListAndTheLabel) {
  DetectProtocol2(200, "AB1.00");
  tool_.Set(255, 0xA5AA, Concat({TextBytes("AB7"), Bytes{0}, TextBytes("XY2"), Bytes{0}}));
  ASSERT_EQ(device_.ReadDatabases(), 0);

  tool_.Set(255, 0x4016, Bytes{0, 0});
  const size_t applied = fake_.line().timeouts.size();
  EXPECT_EQ(device_.ReadDatabases(), -1);
  EXPECT_EQ(device_.DatabaseCount(), 0);
  EXPECT_EQ(fake_.line().timeouts.size(), applied) << "no time-out change without the probe";
  std::string label;
  EXPECT_EQ(device_.SoftwareLabel(label), -1);

  tool_.AnswerProbe(22);
  tool_.Remove(255, 0xA5AA);
  EXPECT_EQ(device_.ReadDatabases(), -1) << "the names could not be read";
  EXPECT_EQ(device_.DatabaseCount(), 0);
  EXPECT_EQ(port_.ReadTimeout(), 300u);
}

TEST_F(ToolReplyParsing, NoLabelWithoutAMatchingName) {
  DetectProtocol2(200, "");
  tool_.Set(255, 0xA5AA, Concat({TextBytes("AB7"), Bytes{0}}));
  ASSERT_EQ(device_.ReadDatabases(), 0);
  std::string label = "kept";
  EXPECT_EQ(device_.SoftwareLabel(label), -1);
  EXPECT_EQ(label, "kept");
  EXPECT_EQ(device_.Databases(), Names{"AB7"});
}

// ---- Sensor records ----

TEST_F(ToolReplyParsing, SensorRecordsCountAndTextWithinTheCapacity) {
  DetectProtocol2();
  tool_.Set(255, 0xA700, FromHex("03 00 01 00"));
  SensorRecordHeader header;
  ASSERT_EQ(device_.ReadSensorRecordCount(header), 0);
  EXPECT_EQ(header.record_count, 3);
  EXPECT_EQ(header.info_stored, 1);
  tool_.Set(255, 0xA702, Concat({TextBytes("Sensor 2\r\n"), Bytes{0}, TextBytes("junk")}));
  char text[200];
  std::memset(text, '#', sizeof text);
  ASSERT_EQ(device_.ReadSensorRecordText(2, text, sizeof text), 0);
  // The record's address wraps at 65536.
  tool_.Set(255, 0xA6FF, TextBytes("wrapped"));
  std::string record;
  ASSERT_EQ(device_.ReadSensorRecordText(0xFFFF, record), 0);
  EXPECT_EQ(record, "wrapped");
  EXPECT_EQ(Sent(), (Frames{Framed("FF 03 A7 00 00 02"), Framed("FF 03 A7 02 00 50"),
                            Framed("FF 03 A6 FF 00 50")}));
  tool_.Remove(255, 0xA700);
  EXPECT_EQ(device_.ReadSensorRecordCount(header), -1);
  EXPECT_STREQ(text, "Sensor 2\r\n");
  EXPECT_EQ(text[11], '#');

  tool_.Set(255, 0xA703, Bytes{0});
  std::memset(text, '#', sizeof text);
  ASSERT_EQ(device_.ReadSensorRecordText(3, text, sizeof text), 0);
  EXPECT_EQ(text[0], '#') << "an empty record leaves the destination untouched";
  EXPECT_EQ(device_.ReadSensorRecordText(4, text, sizeof text), -1);

  // A full record is all 160 bytes, or as many as the capacity holds.
  tool_.Set(255, 0xA701, Bytes(160, 'R'));
  ASSERT_EQ(device_.ReadSensorRecordText(1, text, sizeof text), 0);
  EXPECT_EQ(std::string(text), std::string(160, 'R'));
  std::memset(text, '#', sizeof text);
  ASSERT_EQ(device_.ReadSensorRecordText(1, text, 10), 0);
  EXPECT_EQ(std::string(text, 10), std::string(10, 'R'));
  EXPECT_EQ(text[10], '#') << "nothing beyond the capacity";
  ASSERT_EQ(device_.ReadSensorRecordText(1, record), 0);
  EXPECT_EQ(record.size(), 160u);
}

}  // namespace
}  // namespace velmar
