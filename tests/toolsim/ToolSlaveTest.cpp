// The slave logic from byte frames: both register maps, exceptions, other slaves, finishes and
// restarts, and the fault modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ToolProfile.h"
#include "ToolSlave.h"
#include "support/FakeSerial.h"

namespace velmar::toolsim {
namespace {

using velmar::testing::Bytes;
using velmar::testing::FromHex;
using velmar::testing::ToHex;
using velmar::testing::WithCrc;

ToolProfile Shipped(const std::string& name) {
  ToolProfile profile;
  std::string error;
  EXPECT_EQ(LoadProfile(ShippedProfilePath(name), &profile, &error), 0) << error;
  return profile;
}

ToolProfile FirstMap() { return Shipped("protocol1.json"); }
ToolProfile SecondMap() { return Shipped("protocol2.json"); }

std::string Reply(ToolSlave& slave, const std::string& request_hex) {
  return ToHex(slave.HandleFrame(WithCrc(FromHex(request_hex))).reply);
}

std::string Expected(const std::string& reply_hex) { return ToHex(WithCrc(FromHex(reply_hex))); }

// The data bytes of a read reply, as text up to the first zero.
std::string TextAt(const Bytes& reply, size_t offset) {
  std::string text;
  for (size_t i = 3 + offset; i + 2 < reply.size() && reply[i] != 0; ++i)
    text.push_back(static_cast<char>(reply[i]));
  return text;
}

Bytes Read(ToolSlave& slave, const std::string& request_hex) {
  return slave.HandleFrame(WithCrc(FromHex(request_hex))).reply;
}

// Each request and the reply it must get, both without their checksum; "" is silence.
using Exchanges = std::vector<std::pair<std::string, std::string>>;
void ExpectReplies(ToolSlave& slave, const Exchanges& exchanges) {
  for (const auto& [request, reply] : exchanges)
    EXPECT_EQ(Reply(slave, request), reply.empty() ? "" : Expected(reply)) << request;
}

std::string FinishCommand(const char* word) {
  std::string command = std::string("7F 10 F6 00 00 12 24 00 00 00 ") + word;
  for (int i = 0; i < 32; ++i) command += " 00";
  return command;
}

// ---- first map -------------------------------------------------------------------------

TEST(ToolSlaveFirstMap, AnswersItsOwnMapOnlyAndRefusesAWrongFinishWord) {
  ToolSlave slave(FirstMap());
  ExpectReplies(slave, {
                           {"7F 03 F7 00 00 03", "7F 03 06 00 00 00 00 C8 00"},  // block size 200
                           {"7F 03 A5 00 00 14", "7F 83 02"},
                           {"7F 10 A5 AB 00 02 04 01 00 02 00", "7F 90 02"},
                           {FinishCommand("F5"), "7F 90 03"},
                           // Slave 255 gets no answer at all, not even an exception.
                           {"FF 03 40 0B 00 01", ""},
                       });
  EXPECT_TRUE(slave.Snapshot(false).finishes.empty());
  EXPECT_EQ(slave.Snapshot(false).ignored_frames, 1u);
}

TEST(ToolSlaveFirstMap, IdentityTextsStartAtByteFour) {
  ToolSlave slave(FirstMap());
  const Bytes serial = Read(slave, "7F 03 F0 00 00 12");
  ASSERT_EQ(serial.size(), 5u + 36);
  EXPECT_EQ(serial[2], 36);
  EXPECT_EQ(TextAt(serial, 4), "QL7-12-000045");
  EXPECT_EQ(TextAt(Read(slave, "7F 03 F1 00 00 07"), 4), "QL7-HW1");
  EXPECT_EQ(TextAt(Read(slave, "7F 03 F2 00 00 07"), 4), "0.90");
  const Bytes software = Read(slave, "7F 03 F3 00 00 07");
  ASSERT_EQ(software.size(), 5u + 14);
  EXPECT_EQ(TextAt(software, 4), "1.00");
  EXPECT_EQ(software[3 + 13], 0);
}

TEST(ToolSlaveFirstMap, StoresABlockWithItsPadByteAndEchoesTheWrite) {
  ToolSlave slave(FirstMap());
  // Address 0x200, 5 data bytes, pad 00: 5 registers at 0xF500.
  EXPECT_EQ(Reply(slave, "7F 10 F5 00 00 05 0A 00 02 00 00 11 22 33 44 55 00"),
            Expected("7F 10 F5 00 00 05"));
  Bytes stored;
  ASSERT_TRUE(slave.Memory().Read(0x200, 6, &stored));
  EXPECT_EQ(ToHex(stored), "11 22 33 44 55 00");
  EXPECT_EQ(slave.Snapshot(false).block_writes, 1u);
}

TEST(ToolSlaveFirstMap, FinishCommandEndsAnOrdinaryPackageWithoutRestart) {
  ToolSlave slave(FirstMap());
  Reply(slave, "7F 10 F5 00 00 04 08 00 10 00 00 AA BB CC DD");
  const SlaveResponse response = slave.HandleFrame(WithCrc(FromHex(FinishCommand("F6"))));
  EXPECT_EQ(ToHex(response.reply), Expected("7F 10 F6 00 00 12"));
  EXPECT_EQ(response.action, SlaveAction::None);
  const ToolState state = slave.Snapshot(false);
  ASSERT_EQ(state.finishes.size(), 1u);
  EXPECT_EQ(state.finishes[0].kind, FinishKind::Command);
  EXPECT_FALSE(state.finishes[0].main_software);
  EXPECT_EQ(state.finishes[0].blocks, 1u);
  EXPECT_EQ(state.finishes[0].bytes, 4u);
}

TEST(ToolSlaveFirstMap, BroadcastFinishRestartsWithProgressAndNewVersion) {
  ToolSlave slave(FirstMap());
  // The exact eleven bytes of the program's broadcast finish: no reply to a broadcast.
  const SlaveResponse response = slave.HandleFrame(FromHex("FF 10 00 00 00 01 02 00 07 AF F6"));
  EXPECT_TRUE(response.reply.empty());
  EXPECT_EQ(response.action, SlaveAction::Restart);
  EXPECT_TRUE(response.boot_progress);
  EXPECT_TRUE(slave.IsRestarting());
  // Restarting: silent, and still the old version until it is back.
  EXPECT_TRUE(Read(slave, "7F 03 F7 00 00 03").empty());
  slave.CompleteRestart();
  EXPECT_EQ(TextAt(Read(slave, "7F 03 F3 00 00 07"), 4), "1.10");
  const ToolState state = slave.Snapshot(false);
  ASSERT_EQ(state.finishes.size(), 1u);
  EXPECT_EQ(state.finishes[0].kind, FinishKind::Broadcast);
  EXPECT_TRUE(state.finishes[0].main_software);
  EXPECT_EQ(state.restarts, 1u);
}

TEST(ToolSlaveFirstMap, RestartCoilAtItsOwnAddressOnly) {
  ToolSlave slave(FirstMap());
  // The program's two restart frames: the first restarts this tool, the second is not for it.
  const SlaveResponse first = slave.HandleFrame(FromHex("7F 05 7D 01 FF 00 CF 88"));
  EXPECT_EQ(ToHex(first.reply), "7F 05 7D 01 FF 00 CF 88");
  EXPECT_EQ(first.action, SlaveAction::Restart);
  EXPECT_FALSE(first.boot_progress);
  slave.CompleteRestart();
  const SlaveResponse second = slave.HandleFrame(FromHex("FF 05 7D 01 FF 00 D0 48"));
  EXPECT_TRUE(second.reply.empty());
  EXPECT_EQ(second.action, SlaveAction::None);
  EXPECT_EQ(slave.Snapshot(false).restarts, 1u);
}

TEST(ToolSlaveFirstMap, DualMapToolAlsoAnswersTheSecondMapAt255) {
  ToolProfile profile = FirstMap();
  profile.dual_map = true;
  ToolSlave slave(profile);
  ExpectReplies(slave, {{"7F 03 F7 00 00 03", "7F 03 06 00 00 00 00 C8 00"},
                        {"FF 03 40 0B 00 01", "FF 03 02 0B 40"}});
}

// ---- second map ------------------------------------------------------------------------

TEST(ToolSlaveSecondMap, ProbesEchoTheirAddressAndTheFirstMapGetsNothing) {
  ToolSlave slave(SecondMap());
  // The program's very first request goes unanswered and uncounted.
  EXPECT_TRUE(slave.HandleFrame(FromHex("7F 03 F7 00 00 03 3D A1")).reply.empty());
  EXPECT_EQ(slave.Snapshot(false).requests, 0u);
  EXPECT_EQ(slave.Snapshot(false).ignored_frames, 1u);
  EXPECT_EQ(ToHex(slave.HandleFrame(FromHex("FF 03 40 0B 00 01 F5 D6")).reply),
            Expected("FF 03 02 0B 40"));
  ExpectReplies(slave, {
                           {"FF 03 40 00 00 01", "FF 03 02 00 40"},
                           {"FF 03 40 0C 00 01", "FF 03 02 0C 40"},
                           {"FF 03 40 0D 00 01", "FF 03 02 0D 40"},
                           {"FF 03 40 16 00 01", "FF 03 02 16 40"},
                           {"FF 03 40 17 00 01", "FF 03 02 17 40"},
                           {"FF 03 40 05 00 01", "FF 03 02 00 00"},  // a capability it lacks
                           {"FF 03 40 00 00 02", "FF 83 02"},
                           {"FF 03 F7 00 00 03", "FF 83 02"},  // nor the first map at 255
                       });
}

TEST(ToolSlaveSecondMap, InformationRecordCarriesBootAndSoftwareVersions) {
  ToolSlave slave(SecondMap());
  const Bytes record = slave.HandleFrame(FromHex("FF 03 A5 00 00 14 72 D7")).reply;
  ASSERT_EQ(record.size(), 45u);
  EXPECT_EQ(record[2], 40);
  EXPECT_EQ(TextAt(record, 4), "0.95");
  EXPECT_EQ(TextAt(record, 10), "1.00");
}

TEST(ToolSlaveSecondMap, HardwareNamesWithTheirLengthByte) {
  ToolSlave slave(SecondMap());
  const Bytes reply = Read(slave, "FF 03 A5 01 00 64");
  ASSERT_EQ(reply.size(), 5u + 200);
  const std::string area(reply.begin() + 4, reply.begin() + 4 + reply[3]);
  EXPECT_EQ(area, std::string("QL7-HW3\0RF-433-315\0BT-LE\0", 25));
}

TEST(ToolSlaveSecondMap, SerialNumberBlockWithLengthByteAndItsOverride) {
  ToolSlave slave(SecondMap());
  const Bytes reply = Read(slave, "FF 03 A5 02 00 1A");
  ASSERT_EQ(reply.size(), 5u + 52);
  EXPECT_EQ(reply[3], 13);
  EXPECT_EQ(std::string(reply.begin() + 4, reply.begin() + 17), "QL7-12-000123");

  ToolProfile profile = SecondMap();
  profile.serial_length_byte = 51;
  ToolSlave odd(profile);
  EXPECT_EQ(Read(odd, "FF 03 A5 02 00 1A")[3], 51);
}

TEST(ToolSlaveSecondMap, BlockSizeOptionsDatabasesAndSensorRecords) {
  ToolSlave slave(SecondMap());
  EXPECT_EQ(Reply(slave, "FF 03 A5 10 00 02"), Expected("FF 03 04 80 00 00 00"));

  const Bytes options = Read(slave, "FF 03 A5 A1 00 78");
  ASSERT_EQ(options.size(), 5u + 240);
  EXPECT_EQ(ToHex(Bytes(options.begin() + 3, options.begin() + 17)),
            "03 00 01 00 01 00 02 00 01 00 07 00 00 00");

  const Bytes versions = Read(slave, "FF 03 A5 A3 00 78");
  const std::string list(versions.begin() + 3, versions.begin() + 3 + 2 + 3 * 2 + 30);
  EXPECT_EQ(list,
            std::string("\x03\x00\x01\x00OBD10-1-A\0\x02\x00RKE03-2-B\0\x07\x00TPW01-1-A\0", 38));

  const Bytes databases = Read(slave, "FF 03 A5 AA 00 4B");
  ASSERT_EQ(databases.size(), 5u + 150);
  EXPECT_EQ(std::string(databases.begin() + 3, databases.begin() + 3 + 34),
            std::string("EUR24-1-A1\0EUR24-1-B1\0USA24-2-A1\0\0", 34));

  EXPECT_EQ(Reply(slave, "FF 03 A7 00 00 02"), Expected("FF 03 04 05 00 01 00"));
  const Bytes first = Read(slave, "FF 03 A7 01 00 50");
  ASSERT_EQ(first.size(), 5u + 160);
  EXPECT_EQ(TextAt(first, 0).substr(0, 22), "2024-03-12 09:41  FL  ");
  // A record the tool does not hold is an empty text; beyond 0xA7FF there are no records.
  const Bytes missing = Read(slave, "FF 03 A7 06 00 50");
  ASSERT_EQ(missing.size(), 5u + 160);
  EXPECT_EQ(missing[3], 0);
  EXPECT_EQ(Reply(slave, "FF 03 A8 00 00 50"), Expected("FF 83 02"));
}

TEST(ToolSlaveSecondMap, BadRequestsGetTheirExceptionsAndBadChecksumsSilence) {
  ToolSlave slave(SecondMap());
  ExpectReplies(slave, {
                           {"FF 03 A5 10 00 00", "FF 83 03"},  // no registers
                           {"FF 03 A5 10 00 7E", "FF 83 03"},  // 126 > 125
                           {"FF 03 A5 10 00 03", "FF 83 02"},  // past the register
                           {"FF 03 12 34 00 01", "FF 83 02"},
                           {"FF 06 A5 AB 00 01", "FF 86 01"},  // function 6
                           {"FF 01 00 00 00 08", "FF 81 01"},
                           {"FF 05 12 34 FF 00", "FF 85 02"},  // another coil
                           {"FF 05 7D 01 12 34", "FF 85 03"},  // not on, not off
                           // The byte count disagrees with the quantity.
                           {"FF 10 A5 AB 00 02 02 01 00", "FF 90 03"},
                           // A shorter read is allowed: the first registers of the block.
                           {"FF 03 A5 10 00 01", "FF 03 02 80 00"},
                       });
  EXPECT_EQ(slave.Snapshot(false).exceptions, 9u);
  EXPECT_FALSE(slave.Snapshot(false).zone.has_value());
  Bytes frame = WithCrc(FromHex("FF 03 A5 00 00 14"));
  std::swap(frame[6], frame[7]);
  EXPECT_TRUE(slave.HandleFrame(frame).reply.empty()) << "a bad checksum gets silence";
  EXPECT_EQ(slave.Snapshot(false).requests, 10u);
}

TEST(ToolSlaveSecondMap, BlockWriteStoresPayloadWithFfPad) {
  ToolSlave slave(SecondMap());
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 05 0A 00 02 00 00 01 02 03 04 05 FF"),
            Expected("FF 10 A5 11 00 05"));
  Bytes stored;
  ASSERT_TRUE(slave.Memory().Read(0x200, 6, &stored));
  EXPECT_EQ(ToHex(stored), "01 02 03 04 05 FF");
}

TEST(ToolSlaveSecondMap, BlockLargerThanItsBlockSizeOrPastTheAddressSpaceIsRefused) {
  ToolProfile profile = SecondMap();
  profile.block_size = 8;
  ToolSlave slave(profile);
  ExpectReplies(slave,
                {
                    {"FF 10 A5 11 00 07 0E 00 00 00 00 01 02 03 04 05 06 07 08 09 0A", "FF 90 03"},
                    {"FF 10 A5 11 00 04 08 FC FF FF FF 01 02 03 04", "FF 10 A5 11 00 04"},
                    {"FF 10 A5 11 00 04 08 FD FF FF FF 01 02 03 04", "FF 90 02"},
                    {"FF 10 A5 11 00 01 02 00 00", "FF 90 03"},  // no address
                });
  EXPECT_EQ(slave.Memory().TotalBytes(), 4u);
}

TEST(ToolSlaveSecondMap, FinishAfterRestartCommandEndsTheMainSoftware) {
  ToolSlave slave(SecondMap());
  // Without a restart first, a finish ends an ordinary package and is answered.
  Reply(slave, "FF 10 A5 11 00 04 08 00 00 01 00 01 02 03 04");
  SlaveResponse ordinary = slave.HandleFrame(FromHex("FF 10 00 00 00 01 02 00 07 AF F6"));
  EXPECT_EQ(ToHex(ordinary.reply), Expected("FF 10 00 00 00 01"));
  EXPECT_EQ(ordinary.action, SlaveAction::None);

  // The program restarts the tool right before the main software.
  EXPECT_EQ(slave.HandleFrame(FromHex("FF 05 7D 01 FF 00 D0 48")).action, SlaveAction::Restart);
  slave.CompleteRestart();
  Reply(slave, "FF 10 A5 11 00 04 08 00 00 02 00 01 02 03 04");
  const SlaveResponse main = slave.HandleFrame(FromHex("FF 10 00 00 00 01 02 00 07 AF F6"));
  EXPECT_EQ(main.action, SlaveAction::Restart);
  EXPECT_TRUE(main.boot_progress);
  slave.CompleteRestart();
  EXPECT_EQ(slave.SoftwareVersion(), "1.10");
  EXPECT_EQ(TextAt(Read(slave, "FF 03 A5 00 00 14"), 10), "1.10");

  // The tool's own restart clears the mark: the next package is ordinary again.
  EXPECT_EQ(slave.HandleFrame(FromHex("FF 10 00 00 00 01 02 00 07 AF F6")).action,
            SlaveAction::None);
  const ToolState state = slave.Snapshot(false);
  ASSERT_EQ(state.finishes.size(), 3u);
  EXPECT_FALSE(state.finishes[0].main_software);
  EXPECT_TRUE(state.finishes[1].main_software);
  EXPECT_FALSE(state.finishes[2].main_software);
  EXPECT_EQ(state.restarts, 2u);
}

TEST(ToolSlaveSecondMap, MainSoftwareRangesDecideWhenGiven) {
  ToolProfile profile = SecondMap();
  profile.main_software.ranges = {{0x08000000, 0x080FFFFF}};
  ToolSlave slave(profile);
  slave.HandleFrame(FromHex("FF 05 7D 01 FF 00 D0 48"));
  slave.CompleteRestart();
  // A restart alone no longer marks the next transfer: its blocks went elsewhere.
  Reply(slave, "FF 10 A5 11 00 04 08 00 00 10 00 01 02 03 04");
  EXPECT_EQ(slave.HandleFrame(FromHex("FF 10 00 00 00 01 02 00 07 AF F6")).action,
            SlaveAction::None);
  Reply(slave, "FF 10 A5 11 00 04 08 F0 FF 0F 08 01 02 03 04");
  EXPECT_EQ(slave.HandleFrame(FromHex("FF 10 00 00 00 01 02 00 07 AF F6")).action,
            SlaveAction::Restart);
}

TEST(ToolSlaveSecondMap, NewVersionCanComeFromTheWrittenImage) {
  ToolProfile profile = SecondMap();
  profile.main_software.version_address = 0x100;
  ToolSlave slave(profile);
  slave.HandleFrame(FromHex("FF 05 7D 01 FF 00 D0 48"));
  slave.CompleteRestart();
  // "2.05" and a zero at 0x100.
  Reply(slave, "FF 10 A5 11 00 05 0A 00 01 00 00 32 2E 30 35 00 FF");
  slave.HandleFrame(FromHex("FF 10 00 00 00 01 02 00 07 AF F6"));
  slave.CompleteRestart();
  EXPECT_EQ(slave.SoftwareVersion(), "2.05");
}

TEST(ToolSlaveSecondMap, ResetCodeZoneCountryAndClock) {
  ToolProfile profile = SecondMap();
  profile.reset_code = 0x1234;
  ToolSlave slave(profile);
  ExpectReplies(slave, {{"FF 10 A5 16 00 01 02 33 12", "FF 90 03"}});  // wrong code
  const SlaveResponse reset = slave.HandleFrame(WithCrc(FromHex("FF 10 A5 16 00 01 02 34 12")));
  EXPECT_EQ(ToHex(reset.reply), Expected("FF 10 A5 16 00 01"));
  EXPECT_EQ(reset.action, SlaveAction::Restart);
  slave.CompleteRestart();

  ExpectReplies(slave, {
                           {"FF 10 A5 AB 00 02 04 03 00 31 00", "FF 10 A5 AB 00 02"},
                           {"FF 10 A5 AC 00 05 0A 00 00 1D 02 E8 07 17 3B 3A 00",
                            "FF 10 A5 AC 00 05"},  // 2024-02-29
                           // Month 13 is no date: refused, the earlier clock stays.
                           {"FF 10 A5 AC 00 05 0A 00 00 01 0D E8 07 00 00 00 00", "FF 90 03"},
                       });

  const ToolState state = slave.Snapshot(false);
  ASSERT_EQ(state.resets.size(), 2u);
  EXPECT_EQ(state.resets[0].code, 0x1233);
  EXPECT_FALSE(state.resets[0].accepted);
  EXPECT_TRUE(state.resets[1].accepted);
  EXPECT_EQ(state.zone, 3);
  EXPECT_EQ(state.country, 49);
  ASSERT_TRUE(state.clock.has_value());
  EXPECT_EQ((std::vector<int>{state.clock->year, state.clock->month, state.clock->day,
                              state.clock->hour, state.clock->minute, state.clock->second}),
            (std::vector<int>{2024, 2, 29, 23, 59, 58}));
}

TEST(ToolSlaveSecondMap, RegisterOverrideReplacesTheAnswer) {
  ToolProfile profile = SecondMap();
  profile.register_overrides[0xA5A1] = FromHex("65 00");  // an option count of 101
  ToolSlave slave(profile);
  const Bytes reply = Read(slave, "FF 03 A5 A1 00 78");
  ASSERT_EQ(reply.size(), 5u + 240);
  EXPECT_EQ(reply[3], 0x65);
  EXPECT_EQ(reply[5], 0x00);
}

// ---- fault modes -----------------------------------------------------------------------

TEST(ToolSlaveFaults, MemoryLimitGivesDeviceFailure) {
  FaultSettings faults;
  faults.memory_limit = 6;
  ToolSlave slave(SecondMap(), faults);
  ExpectReplies(slave, {{"FF 10 A5 11 00 04 08 00 00 00 00 01 02 03 04", "FF 10 A5 11 00 04"},
                        {"FF 10 A5 11 00 04 08 10 00 00 00 01 02 03 04", "FF 90 04"}});
}

}  // namespace
}  // namespace velmar::toolsim
