// Stopping the scanner on a real pseudo-terminal: the window's thread must not wait out a
// search against a silent port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "device/PortScanner.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/Pty.h"
#include "support/RecordingPoster.h"
#include "support/ScaledClock.h"
#include "support/ScriptedPortListing.h"

namespace velmar {
namespace {

using testing::RecordingPoster;

constexpr int32_t kSearching = static_cast<int32_t>(DetectEvent::Searching);

// Settings and EXIT stop the scanner on the window's thread: a stop must neither wait out a
// search against a silent port (seconds of reads) nor wait for a tool lock the stopping thread
// holds.
TEST(PortScannerStop, ReturnsAtOnceFromASilentPortOrWhileTheToolIsHeld) {
  testing::TempPortDir dir;
  testing::PtyPeer peer(61);
  ASSERT_TRUE(peer.ok());
  SerialPort port;
  port.SetPort(61);
  ToolDevice device;
  device.Attach(&port);
  testing::ScaledClock clock(100);
  testing::ScriptedPortListing listing;
  RecordingPoster poster;
  PortScanner scanner(device, clock, listing);
  scanner.SetPoster(&poster);
  scanner.SetAutomaticMode(false);
  using Steady = std::chrono::steady_clock;
  const auto stop_takes = [&] {
    const auto start = Steady::now();
    scanner.Stop();
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
    std::printf("stop took %lld ms\n", static_cast<long long>(took));
    return took;
  };

  scanner.Start();
  ASSERT_EQ(peer.Receive(8).size(), 8u) << "the first question of the search";
  EXPECT_LT(stop_takes(), 1000);
  EXPECT_EQ(poster.EventCodes(), std::vector<int32_t>{kSearching}) << "a stopped search says nothing";
  EXPECT_FALSE(port.Abandoned()) << "the port is usable again";

  scanner.SetConnected(true);
  ToolDeviceLock held_by_the_window(device);
  scanner.Start();
  EXPECT_LT(stop_takes(), 1000);
  EXPECT_TRUE(scanner.IsConnected()) << "a check that never ran says nothing";
}

}  // namespace
}  // namespace velmar
