// The port scanner on real pseudo-terminals: a virtual tool found by its adapter name, restarted
// when it is stuck and found again under the same number, and lost once it is unplugged.
#include <gtest/gtest.h>

#include <chrono>

#include "device/PortScanner.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/Pty.h"
#include "support/RecordingPoster.h"
#include "support/ShippedTool.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;

constexpr int32_t kFound = static_cast<int32_t>(DetectEvent::DeviceFound);
constexpr int32_t kLost = static_cast<int32_t>(DetectEvent::DeviceLost);
constexpr int32_t kAdapter = static_cast<int32_t>(DetectEvent::AdapterFound);
constexpr int32_t kSearching = static_cast<int32_t>(DetectEvent::Searching);

toolsim::VirtualToolOptions ToolOptions(const char* profile_file, uint8_t port, const char* adapter) {
  toolsim::VirtualToolOptions options = testing::ShippedToolOptions(profile_file, port);
  options.profile.adapter_name = adapter;
  return options;
}

// Driven step by step; the quiet steps and the link check's wait pass on the manual clock.
TEST(ScannerOnVirtualTool, FindsAStuckToolByItsAdapterNameAfterARestartAndLosesItUnplugged) {
  testing::TempPortDir dir;
  SerialPort port;
  ToolDevice device;
  device.Attach(&port);
  ManualClock clock;
  PortScanner scanner(device, clock);
  testing::RecordingPoster poster;
  scanner.SetPoster(&poster);
  const auto search_once = [&] {
    poster.Clear();
    for (int i = 0; i <= PortScanner::kQuietSteps; ++i) scanner.Step();
  };

  // The modem is listed first (a lower number) and is not taken.
  toolsim::VirtualTool modem(ToolOptions("protocol2.json", 142, "Some Modem"));
  toolsim::VirtualToolOptions options = ToolOptions("protocol1.json", 146, "Ostar RS232 Emulation");
  options.faults.silent_until_restart = true;
  toolsim::VirtualTool tool(options);
  ASSERT_EQ(modem.Start(), 0);
  ASSERT_EQ(tool.Start(), 0);
  search_once();
  // Its adapter is away when the search reopens the port at once: no event, as for any port
  // that does not reopen after the restart.
  EXPECT_EQ(poster.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter}));
  EXPECT_EQ(tool.State().restarts, 1u);
  EXPECT_EQ(modem.State().restarts, 0u);
  ASSERT_TRUE(tool.WaitForAppearances(2, 10s));
  search_once();
  EXPECT_EQ(poster.EventCodes(), (std::vector<int32_t>{kSearching, kAdapter, kFound}));
  EXPECT_EQ(port.Port(), 146);
  EXPECT_EQ(device.Protocol(), DeviceProtocol::Protocol1);

  poster.Clear();
  scanner.Step();
  EXPECT_TRUE(poster.Events().empty()) << "a good link check posts nothing";
  tool.Unplug();
  ASSERT_TRUE(tool.WaitForPlugged(false, 5s));
  const uint64_t before = clock.NowMs();
  scanner.Step();
  EXPECT_EQ(poster.EventCodes(), std::vector<int32_t>{kLost});
  EXPECT_EQ(clock.NowMs() - before, 1000u) << "one second's wait, then the failed check";
  EXPECT_FALSE(port.IsOpen());
}

}  // namespace
}  // namespace velmar
