// The slave logic from byte frames: both register maps, exceptions, other slaves, finishes and
// restarts, and the fault modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

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

// ---- first map -------------------------------------------------------------------------

TEST(ToolSlaveFirstMap, AnswersTheFirstDetectionRequestWithItsBlockSize) {
  ToolSlave slave(FirstMap());
  // The program's very first request, byte for byte; block size 200 little-endian.
  EXPECT_EQ(ToHex(slave.HandleFrame(FromHex("7F 03 F7 00 00 03 3D A1")).reply),
            Expected("7F 03 06 00 00 00 00 C8 00"));
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
  std::string command = "7F 10 F6 00 00 12 24 00 00 00 F6";
  for (int i = 0; i < 32; ++i) command += " 00";
  const SlaveResponse response = slave.HandleFrame(WithCrc(FromHex(command)));
  EXPECT_EQ(ToHex(response.reply), Expected("7F 10 F6 00 00 12"));
  EXPECT_EQ(response.action, SlaveAction::None);
  const ToolState state = slave.Snapshot(false);
  ASSERT_EQ(state.finishes.size(), 1u);
  EXPECT_EQ(state.finishes[0].kind, FinishKind::Command);
  EXPECT_FALSE(state.finishes[0].main_software);
  EXPECT_EQ(state.finishes[0].blocks, 1u);
  EXPECT_EQ(state.finishes[0].bytes, 4u);
}

TEST(ToolSlaveFirstMap, FinishCommandWithWrongWordIsRefused) {
  ToolSlave slave(FirstMap());
  std::string command = "7F 10 F6 00 00 12 24 00 00 00 F5";
  for (int i = 0; i < 32; ++i) command += " 00";
  EXPECT_EQ(Reply(slave, command), Expected("7F 90 03"));
  EXPECT_TRUE(slave.Snapshot(false).finishes.empty());
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

TEST(ToolSlaveFirstMap, KnowsNothingOfTheSecondMap) {
  ToolSlave slave(FirstMap());
  EXPECT_EQ(Reply(slave, "7F 03 A5 00 00 14"), Expected("7F 83 02"));
  EXPECT_EQ(Reply(slave, "7F 10 A5 AB 00 02 04 01 00 02 00"), Expected("7F 90 02"));
  // Slave 255 gets no answer at all, not even an exception.
  EXPECT_TRUE(slave.HandleFrame(FromHex("FF 03 40 0B 00 01 F5 D6")).reply.empty());
  EXPECT_EQ(slave.Snapshot(false).ignored_frames, 1u);
}

TEST(ToolSlaveFirstMap, DualMapToolAlsoAnswersTheSecondMapAt255) {
  ToolProfile profile = FirstMap();
  profile.dual_map = true;
  ToolSlave slave(profile);
  EXPECT_EQ(ToHex(slave.HandleFrame(FromHex("7F 03 F7 00 00 03 3D A1")).reply),
            Expected("7F 03 06 00 00 00 00 C8 00"));
  EXPECT_EQ(ToHex(slave.HandleFrame(FromHex("FF 03 40 0B 00 01 F5 D6")).reply),
            Expected("FF 03 02 0B 40"));
}

// ---- second map ------------------------------------------------------------------------

TEST(ToolSlaveSecondMap, DoesNotAnswerTheFirstMapAt127) {
  ToolSlave slave(SecondMap());
  const SlaveResponse response = slave.HandleFrame(FromHex("7F 03 F7 00 00 03 3D A1"));
  EXPECT_TRUE(response.reply.empty());
  EXPECT_EQ(slave.Snapshot(false).requests, 0u);
  EXPECT_EQ(slave.Snapshot(false).ignored_frames, 1u);
  // Nor the first map's registers at its own address.
  EXPECT_EQ(Reply(slave, "FF 03 F7 00 00 03"), Expected("FF 83 02"));
}

TEST(ToolSlaveSecondMap, ProbesEchoTheirAddressForCapabilitiesItHas) {
  ToolSlave slave(SecondMap());
  EXPECT_EQ(ToHex(slave.HandleFrame(FromHex("FF 03 40 0B 00 01 F5 D6")).reply),
            Expected("FF 03 02 0B 40"));
  EXPECT_EQ(ToHex(slave.HandleFrame(FromHex("FF 03 40 00 00 01 84 14")).reply),
            Expected("FF 03 02 00 40"));
  for (int n : {12, 13, 22, 23}) {
    char request[32];
    std::snprintf(request, sizeof request, "FF 03 40 %02X 00 01", n);
    char expected[32];
    std::snprintf(expected, sizeof expected, "FF 03 02 %02X 40", n);
    EXPECT_EQ(Reply(slave, request), Expected(expected)) << n;
  }
  // A capability it lacks answers another value.
  EXPECT_EQ(Reply(slave, "FF 03 40 05 00 01"), Expected("FF 03 02 00 00"));
  EXPECT_EQ(Reply(slave, "FF 03 40 00 00 02"), Expected("FF 83 02"));
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

TEST(ToolSlaveSecondMap, ReadsOfBadQuantitiesAndUnknownRegisters) {
  ToolSlave slave(SecondMap());
  EXPECT_EQ(Reply(slave, "FF 03 A5 10 00 00"), Expected("FF 83 03"));  // no registers
  EXPECT_EQ(Reply(slave, "FF 03 A5 10 00 7E"), Expected("FF 83 03"));  // 126 > 125
  EXPECT_EQ(Reply(slave, "FF 03 A5 10 00 03"), Expected("FF 83 02"));  // past the register
  EXPECT_EQ(Reply(slave, "FF 03 12 34 00 01"), Expected("FF 83 02"));
  EXPECT_EQ(Reply(slave, "FF 06 A5 AB 00 01"), Expected("FF 86 01"));  // function 6
  EXPECT_EQ(Reply(slave, "FF 01 00 00 00 08"), Expected("FF 81 01"));
  EXPECT_EQ(Reply(slave, "FF 05 12 34 FF 00"), Expected("FF 85 02"));  // another coil
  EXPECT_EQ(Reply(slave, "FF 05 7D 01 12 34"), Expected("FF 85 03"));  // not on, not off
  // A shorter read is allowed: the first registers of the block.
  EXPECT_EQ(Reply(slave, "FF 03 A5 10 00 01"), Expected("FF 03 02 80 00"));
  EXPECT_EQ(slave.Snapshot(false).exceptions, 8u);
}

TEST(ToolSlaveSecondMap, WriteWithByteCountThatDisagreesWithQuantityIsRefused) {
  ToolSlave slave(SecondMap());
  EXPECT_EQ(Reply(slave, "FF 10 A5 AB 00 02 02 01 00"), Expected("FF 90 03"));
  EXPECT_FALSE(slave.Snapshot(false).zone.has_value());
}

TEST(ToolSlaveSecondMap, BadCrcGetsSilence) {
  ToolSlave slave(SecondMap());
  Bytes frame = WithCrc(FromHex("FF 03 A5 00 00 14"));
  std::swap(frame[6], frame[7]);
  EXPECT_TRUE(slave.HandleFrame(frame).reply.empty());
  EXPECT_EQ(slave.Snapshot(false).requests, 0u);
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
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 07 0E 00 00 00 00 01 02 03 04 05 06 07 08 09 0A"),
            Expected("FF 90 03"));
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 04 08 FC FF FF FF 01 02 03 04"),
            Expected("FF 10 A5 11 00 04"));
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 04 08 FD FF FF FF 01 02 03 04"), Expected("FF 90 02"));
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 01 02 00 00"), Expected("FF 90 03"));  // no address
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
  EXPECT_EQ(Reply(slave, "FF 10 A5 16 00 01 02 33 12"), Expected("FF 90 03"));  // wrong code
  const SlaveResponse reset = slave.HandleFrame(WithCrc(FromHex("FF 10 A5 16 00 01 02 34 12")));
  EXPECT_EQ(ToHex(reset.reply), Expected("FF 10 A5 16 00 01"));
  EXPECT_EQ(reset.action, SlaveAction::Restart);
  slave.CompleteRestart();

  EXPECT_EQ(Reply(slave, "FF 10 A5 AB 00 02 04 03 00 31 00"), Expected("FF 10 A5 AB 00 02"));
  // 2024-02-29 23:59:58 UTC.
  EXPECT_EQ(Reply(slave, "FF 10 A5 AC 00 05 0A 00 00 1D 02 E8 07 17 3B 3A 00"),
            Expected("FF 10 A5 AC 00 05"));
  // Month 13 is no date: refused, the earlier clock stays.
  EXPECT_EQ(Reply(slave, "FF 10 A5 AC 00 05 0A 00 00 01 0D E8 07 00 00 00 00"),
            Expected("FF 90 03"));

  const ToolState state = slave.Snapshot(false);
  ASSERT_EQ(state.resets.size(), 2u);
  EXPECT_EQ(state.resets[0].code, 0x1233);
  EXPECT_FALSE(state.resets[0].accepted);
  EXPECT_TRUE(state.resets[1].accepted);
  EXPECT_EQ(state.zone, 3);
  EXPECT_EQ(state.country, 49);
  ASSERT_TRUE(state.clock.has_value());
  EXPECT_EQ(state.clock->year, 2024);
  EXPECT_EQ(state.clock->month, 2);
  EXPECT_EQ(state.clock->day, 29);
  EXPECT_EQ(state.clock->hour, 23);
  EXPECT_EQ(state.clock->minute, 59);
  EXPECT_EQ(state.clock->second, 58);
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

TEST(ToolSlaveFaults, RefusedRangeGetsAnExceptionAndStoresNothing) {
  FaultSettings faults;
  faults.refused_ranges = {{0x00400000, 0x004FFFFF}};
  ToolSlave slave(SecondMap(), faults);
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 04 08 FE FF 3F 00 01 02 03 04"),
            Expected("FF 90 02"));  // overlaps
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 04 08 FC FF 3F 00 01 02 03 04"),
            Expected("FF 10 A5 11 00 04"));
  const ToolState state = slave.Snapshot(false);
  EXPECT_EQ(state.refused_blocks, 1u);
  EXPECT_EQ(state.block_writes, 2u);
  EXPECT_EQ(state.written_bytes, 4u);
}

TEST(ToolSlaveFaults, StopsAnsweringAfterNRequests) {
  FaultSettings faults;
  faults.stop_after_requests = 2;
  ToolSlave slave(SecondMap(), faults);
  EXPECT_FALSE(Read(slave, "FF 03 40 00 00 01").empty());
  EXPECT_FALSE(Read(slave, "FF 03 40 00 00 01").empty());
  EXPECT_TRUE(Read(slave, "FF 03 40 00 00 01").empty());
  EXPECT_TRUE(slave.Snapshot(false).hung);
}

TEST(ToolSlaveFaults, UnplugsAtTheKthBlockWithoutReply) {
  FaultSettings faults;
  faults.unplug_at_block = 2;
  ToolSlave slave(SecondMap(), faults);
  EXPECT_EQ(
      slave.HandleFrame(WithCrc(FromHex("FF 10 A5 11 00 04 08 00 00 00 00 01 02 03 04"))).action,
      SlaveAction::None);
  const SlaveResponse second =
      slave.HandleFrame(WithCrc(FromHex("FF 10 A5 11 00 04 08 04 00 00 00 05 06 07 08")));
  EXPECT_TRUE(second.reply.empty());
  EXPECT_EQ(second.action, SlaveAction::Unplug);
  EXPECT_EQ(slave.Memory().TotalBytes(), 4u);
}

TEST(ToolSlaveFaults, DropAndCorruptAreReproducibleFromTheSeed) {
  auto pattern = [](uint32_t seed) {
    FaultSettings faults;
    faults.drop_rate = 0.3;
    faults.corrupt_rate = 0.3;
    faults.seed = seed;
    ToolSlave slave(SecondMap(), faults);
    std::string outcomes;
    for (int i = 0; i < 64; ++i) {
      const Bytes reply = Read(slave, "FF 03 40 00 00 01");
      if (reply.empty()) {
        outcomes += 'd';
      } else {
        outcomes += ToHex(reply) == Expected("FF 03 02 00 40") ? '.' : 'c';
      }
    }
    const ToolState state = slave.Snapshot(false);
    EXPECT_EQ(state.dropped_replies,
              static_cast<uint64_t>(std::count(outcomes.begin(), outcomes.end(), 'd')));
    EXPECT_EQ(state.corrupted_replies,
              static_cast<uint64_t>(std::count(outcomes.begin(), outcomes.end(), 'c')));
    return outcomes;
  };
  const std::string first = pattern(7);
  EXPECT_EQ(first, pattern(7));
  EXPECT_NE(first, pattern(8));
  EXPECT_NE(first.find('d'), std::string::npos);
  EXPECT_NE(first.find('c'), std::string::npos);
  EXPECT_NE(first.find('.'), std::string::npos);
}

TEST(ToolSlaveFaults, DroppedReplyStillTakesEffect) {
  FaultSettings faults;
  faults.drop_rate = 1;
  ToolSlave slave(SecondMap(), faults);
  EXPECT_TRUE(Read(slave, "FF 10 A5 AB 00 02 04 05 00 06 00").empty());
  EXPECT_EQ(slave.Snapshot(false).zone, 5);
}

TEST(ToolSlaveFaults, MemoryLimitGivesDeviceFailure) {
  FaultSettings faults;
  faults.memory_limit = 6;
  ToolSlave slave(SecondMap(), faults);
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 04 08 00 00 00 00 01 02 03 04"),
            Expected("FF 10 A5 11 00 04"));
  EXPECT_EQ(Reply(slave, "FF 10 A5 11 00 04 08 10 00 00 00 01 02 03 04"), Expected("FF 90 04"));
}

}  // namespace
}  // namespace velmar::toolsim
