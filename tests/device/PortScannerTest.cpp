// The scanner's step logic with a fake line, a scripted port listing and a manual clock.
#include <gtest/gtest.h>

#include <tuple>

#include <set>

#include "device/PortScanner.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/FakeSerial.h"
#include "support/RecordingPoster.h"
#include "support/ScriptedPortListing.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::FakeSerialBinding;
using testing::FromHex;
using testing::RecordingPoster;
using testing::WithCrc;

constexpr int32_t kSearching = static_cast<int32_t>(DetectEvent::Searching);
constexpr int32_t kNoDevice = static_cast<int32_t>(DetectEvent::NoDevice);
constexpr int32_t kFound = static_cast<int32_t>(DetectEvent::DeviceFound);
constexpr int32_t kAdapter = static_cast<int32_t>(DetectEvent::AdapterFound);
constexpr int32_t kLost = static_cast<int32_t>(DetectEvent::DeviceLost);
constexpr int32_t kOpenFailed = static_cast<int32_t>(DetectEvent::PortOpenFailed);

// A Protocol1 tool on the fake line: answers 0xF700 at slave 127 while `answering`;
// a tool that is `asleep` starts answering only once it has been restarted.
struct FakeTool {
  bool answering = true;
  bool asleep = false;
  int restarts = 0;

  std::optional<Bytes> Answer(const Bytes& request) {
    if (request.size() >= 4 && request[1] == 5 && request[2] == 0x7D && request[3] == 0x01) {
      ++restarts;
      if (asleep) {
        asleep = false;
        answering = true;
      }
      return Bytes{};  // the tool is gone before it could answer
    }
    if (!answering || request[0] != 0x7F || request[1] != 3) return Bytes{};
    return WithCrc(FromHex("7F 03 06 00 00 00 00 F2 00"));
  }
};

class PortScannerSteps : public ::testing::Test {
 protected:
  PortScannerSteps() {
    fake_.line().responder = [this](const Bytes& request) { return tool_.Answer(request); };
    device_.Attach(&port_);
    scanner_.SetPoster(&poster_);
    listing_.names = {"Communications Port (COM1)", "Ostar RS232 Emulation (COM5)"};
  }

  // Runs the quiet steps and one search attempt.
  void RunOneAttempt() {
    for (int i = 0; i <= PortScanner::kQuietSteps; ++i) scanner_.Step();
  }

  FakeTool tool_;
  FakeSerialBinding fake_;
  SerialPort port_{fake_};
  ToolDevice device_;
  ManualClock clock_;
  testing::ScriptedPortListing listing_;
  PortScanner scanner_{device_, clock_, listing_};
  RecordingPoster poster_;
};

TEST_F(PortScannerSteps, TheFirstAttemptFollowsTwentyFiveQuietStepsAndAsksTwice) {
  for (int i = 0; i < PortScanner::kQuietSteps; ++i) scanner_.Step();
  EXPECT_TRUE(poster_.Events().empty());
  EXPECT_EQ(clock_.TotalSlept(), 2500u);
  EXPECT_TRUE(fake_.Written().empty());
  scanner_.Step();
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter, kFound}));
  EXPECT_TRUE(scanner_.IsConnected());
  EXPECT_EQ(port_.Port(), 5);
  for (const auto& e : poster_.Events()) EXPECT_EQ(e.message, kPortScannerMessage);
  // Only the second answer counts, so the status is asked twice.
  EXPECT_EQ(fake_.Written(), (std::vector<Bytes>(2, FromHex("7F 03 F7 00 00 03 3D A1"))));
}

// Ostar or Broad Elm, whichever comes first; no adapter ends the attempt quietly.
TEST_F(PortScannerSteps, TheFirstAdapterEnumeratedWins) {
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"Broad Elm USB to Serial Ports (COM9)", "Ostar RS232 Emulation (COM5)"}, 9},
      {{"Ostar RS232 Emulation (COM7)", "Ostar RS232 Emulation (COM5)"}, 7},
      {{"USB Serial (COM3)", "Broad Elm USB to Serial Ports (COM12)"}, 12},
      {{"Communications Port (COM1)"}, 0}};
  for (const auto& [names, number] : cases) {
    listing_.names = names;
    scanner_.SetConnected(false);
    port_.Close();
    poster_.Clear();
    RunOneAttempt();
    EXPECT_EQ(port_.IsOpen() ? port_.Port() : 0, number) << names.front();
    const std::vector<int32_t> events = number ? std::vector<int32_t>{kSearching, kAdapter, kFound}
                                               : std::vector<int32_t>{kSearching};
    EXPECT_EQ(poster_.EventCodes(), events);
  }
}

TEST_F(PortScannerSteps, UserModeOpensTheConfiguredPortWithoutListing) {
  scanner_.SetAutomaticMode(false);
  port_.SetPort(21);
  RunOneAttempt();
  EXPECT_EQ(listing_.calls, 0);
  EXPECT_EQ(fake_.opened_ports, std::vector<uint8_t>{21});
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kFound}));
}

TEST_F(PortScannerSteps, ASleepingToolIsRestartedAndFoundAfterTheReopen) {
  tool_.answering = false;
  tool_.asleep = true;
  RunOneAttempt();
  EXPECT_EQ(tool_.restarts, 2) << "the restart goes to both slave addresses";
  EXPECT_EQ(fake_.line().opens, 2) << "the port is reopened after the restart";
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter, kFound}));
  EXPECT_TRUE(scanner_.IsConnected());
}

TEST_F(PortScannerSteps, ASilentToolIsNoDeviceAndAPortThatWillNotOpenIsReported) {
  tool_.answering = false;
  RunOneAttempt();
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter, kNoDevice}));
  EXPECT_TRUE(port_.IsOpen());
  EXPECT_FALSE(scanner_.IsConnected());

  port_.Close();
  fake_.open_fails = true;
  poster_.Clear();
  RunOneAttempt();
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter, kOpenFailed}));
}

TEST_F(PortScannerSteps, WhileConnectedAGoodLinkPostsNothingAndALostOneIsReported) {
  RunOneAttempt();
  poster_.Clear();
  const uint64_t slept = clock_.TotalSlept();
  scanner_.Step();
  EXPECT_TRUE(poster_.Events().empty());
  EXPECT_EQ(clock_.TotalSlept() - slept, 1000u) << "one link check a second";
  tool_.answering = false;
  scanner_.Step();
  EXPECT_EQ(poster_.EventCodes(), std::vector<int32_t>{kLost});
  EXPECT_FALSE(scanner_.IsConnected());
  EXPECT_FALSE(port_.IsOpen());
}

TEST_F(PortScannerSteps, TheQuietCountSurvivesAStopAndRestart) {
  for (int i = 0; i < 20; ++i) scanner_.Step();
  scanner_.Stop();
  for (int i = 0; i < 5; ++i) scanner_.Step();
  EXPECT_TRUE(poster_.Events().empty());
  scanner_.Step();
  EXPECT_EQ(poster_.EventCodes().front(), kSearching);
}

// A watch that reports a change at the waits chosen by the test, and records every wait.
struct FakePortWatch : PortWatch {
  bool active = true;
  std::set<int> changes_at;  // indexes of the waits that end with a change
  std::vector<uint32_t> waits;
  bool Active() const override { return active; }
  bool WaitForChange(uint32_t ms) override {
    waits.push_back(ms);
    return changes_at.count(static_cast<int>(waits.size()) - 1) > 0;
  }
};

// Not connected, a change ends the quiet steps at once; connected, it ends the wait for the
// link check, and a device that vanished is lost without a frame on the line. An inactive
// watch leaves the scanner polling.
TEST_F(PortScannerSteps, APortWatchShortensTheWaits) {
  // Columns as named by the loop below; frames: those written to the line.
  const std::tuple<const char*, bool, bool, bool, size_t, std::vector<int32_t>, size_t> cases[] = {
      {"plugged in during the third quiet step", true, false, false, 4, {kSearching, kAdapter, kFound}, 2},
      {"inactive: 25 quiet steps first", false, false, false, 4, {}, 0},
      {"pulled while connected", true, true, true, 1, {kLost}, 0},
      {"another port came while connected", true, true, false, 1, {}, 1},
  };
  for (const auto& [name, active, connected, vanished, steps, events, frames] : cases) {
    SCOPED_TRACE(name);
    scanner_.SetConnected(false);
    port_.Close();
    if (connected) {
      RunOneAttempt();
      ASSERT_TRUE(scanner_.IsConnected());
      fake_.line().vanished = vanished;
    }
    FakePortWatch watch;
    watch.active = active;
    watch.changes_at = {connected ? 0 : 2};
    scanner_.SetPortWatch(&watch);
    const size_t frames_before = fake_.Written().size();
    const uint64_t slept_before = clock_.TotalSlept();
    poster_.Clear();
    for (size_t i = 0; i < steps; ++i) scanner_.Step();
    EXPECT_EQ(poster_.EventCodes(), events);
    EXPECT_EQ(fake_.Written().size() - frames_before, frames);
    if (active) {
      EXPECT_EQ(clock_.TotalSlept(), slept_before) << "the watch does the waiting";
      EXPECT_EQ(watch.waits.size(), connected ? 1u : 3u) << "a change ends the wait at once";
    } else {
      EXPECT_TRUE(watch.waits.empty());
    }
    EXPECT_EQ(scanner_.IsConnected(), connected ? !vanished : !events.empty());
    scanner_.SetPortWatch(nullptr);
  }
}

}  // namespace
}  // namespace velmar
