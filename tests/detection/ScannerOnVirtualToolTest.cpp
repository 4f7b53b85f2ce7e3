// The port scanner finding virtual tools by their adapter names on real pseudo-terminals,
// noticing when one goes away and finding it again under the same number.
#include <gtest/gtest.h>

#include <chrono>

#include "VirtualTool.h"
#include "device/PortScanner.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/Pty.h"
#include "support/RecordingPoster.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using testing::RecordingPoster;
using testing::TempPortDir;

constexpr int32_t kFound = static_cast<int32_t>(DetectEvent::DeviceFound);
constexpr int32_t kLost = static_cast<int32_t>(DetectEvent::DeviceLost);
constexpr int32_t kAdapter = static_cast<int32_t>(DetectEvent::AdapterFound);
constexpr int32_t kSearching = static_cast<int32_t>(DetectEvent::Searching);

toolsim::VirtualToolOptions ToolOptions(const char* profile_file, uint8_t port, const char* adapter) {
  toolsim::VirtualToolOptions options;
  std::string error;
  EXPECT_EQ(toolsim::LoadProfile(toolsim::ShippedProfilePath(profile_file), &options.profile, &error), 0)
      << error;
  options.profile.adapter_name = adapter;
  options.port_number = port;
  options.restart_delay = 300ms;
  return options;
}

class ScannerOnVirtualTool : public ::testing::Test {
 protected:
  ScannerOnVirtualTool() {
    device_.Attach(&port_);
    scanner_.SetPoster(&poster_);
  }
  ~ScannerOnVirtualTool() override { scanner_.Stop(); }

  // One search attempt, driven step by step (the quiet steps sleep on the manual clock).
  void SearchOnce() {
    for (int i = 0; i <= PortScanner::kQuietSteps; ++i) scanner_.Step();
  }

  TempPortDir dir_;
  SerialPort port_;
  ToolDevice device_;
  ManualClock clock_;
  PortScanner scanner_{device_, clock_};
  RecordingPoster poster_;
};

TEST_F(ScannerOnVirtualTool, FindsAProtocol1ToolByItsAdapterName) {
  toolsim::VirtualTool tool(ToolOptions("protocol1.json", 140, "Ostar RS232 Emulation"));
  ASSERT_EQ(tool.Start(), 0);
  SearchOnce();
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter, kFound}));
  EXPECT_EQ(port_.Port(), 140);
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol1);
}

TEST_F(ScannerOnVirtualTool, AToolWithAnotherAdapterNameIsNotTaken) {
  toolsim::VirtualTool tool(ToolOptions("protocol2.json", 142, "Some Modem"));
  ASSERT_EQ(tool.Start(), 0);
  SearchOnce();
  EXPECT_EQ(poster_.EventCodes(), std::vector<int32_t>{kSearching});
}

TEST_F(ScannerOnVirtualTool, AnUnpluggedToolIsLostAtTheNextLinkCheck) {
  toolsim::VirtualTool tool(ToolOptions("protocol2.json", 143, "Ostar RS232 Emulation"));
  ASSERT_EQ(tool.Start(), 0);
  SearchOnce();
  ASSERT_TRUE(scanner_.IsConnected());
  scanner_.Step();  // a good link check posts nothing
  poster_.Clear();
  tool.Unplug();
  ASSERT_TRUE(tool.WaitForPlugged(false, 5s));
  const uint64_t before = clock_.NowMs();
  scanner_.Step();
  EXPECT_EQ(poster_.EventCodes(), std::vector<int32_t>{kLost});
  EXPECT_EQ(clock_.NowMs() - before, 1000u) << "one second's wait, then the failed check";
  EXPECT_FALSE(port_.IsOpen());
}

TEST_F(ScannerOnVirtualTool, ARestartedToolIsFoundAgainUnderTheSameNumber) {
  toolsim::VirtualTool tool(ToolOptions("protocol2.json", 144, "Ostar RS232 Emulation"));
  ASSERT_EQ(tool.Start(), 0);
  SearchOnce();
  ASSERT_TRUE(scanner_.IsConnected());
  {
    ToolDeviceLock conversation(device_);
    device_.RestartTool();
  }
  ASSERT_TRUE(tool.WaitForPlugged(false, 5s)) << "the adapter goes away";
  scanner_.Step();
  ASSERT_FALSE(scanner_.IsConnected());
  ASSERT_TRUE(tool.WaitForAppearances(2, 10s)) << "and comes back";
  poster_.Clear();
  SearchOnce();
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter, kFound}));
  EXPECT_EQ(port_.Port(), 144);
}

TEST_F(ScannerOnVirtualTool, AStuckToolIsRestartedByTheSearchAndFoundWhenItIsBack) {
  toolsim::VirtualToolOptions options = ToolOptions("protocol1.json", 146, "Ostar RS232 Emulation");
  options.faults.silent_until_restart = true;
  toolsim::VirtualTool tool(options);
  ASSERT_EQ(tool.Start(), 0);
  SearchOnce();
  // Its adapter is away when the search reopens the port at once: no event, as for any port
  // that does not reopen after the restart.
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter}));
  EXPECT_EQ(tool.State().restarts, 1u);
  ASSERT_TRUE(tool.WaitForAppearances(2, 10s));
  poster_.Clear();
  SearchOnce();
  EXPECT_EQ(poster_.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter, kFound}));
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol1);
}

TEST(ScannerThread, FindsAndLosesATool) {
  TempPortDir dir;
  SerialPort port;
  ToolDevice device;
  device.Attach(&port);
  RecordingPoster poster;
  PortScanner scanner(device);
  scanner.SetPoster(&poster);
  toolsim::VirtualTool tool(ToolOptions("protocol1.json", 145, "Ostar RS232 Emulation"));
  ASSERT_EQ(tool.Start(), 0);
  scanner.Start();
  ASSERT_TRUE(poster.WaitFor(kFound, 20000));
  const auto unplugged_at = std::chrono::steady_clock::now();
  tool.Unplug();
  ASSERT_TRUE(poster.WaitFor(kLost, 20000));
  const auto took = std::chrono::steady_clock::now() - unplugged_at;
  scanner.Stop();
  // The link is checked once a second; a generous bound that cannot flake.
  EXPECT_LT(took, 10s);
}

}  // namespace
}  // namespace velmar
