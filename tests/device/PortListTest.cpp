#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "device/PortList.h"
#include "platform/PortPaths.h"
#include "support/Pty.h"
#include "support/ScriptedPortListing.h"

namespace velmar {
namespace {

class PortListTest : public ::testing::Test {
 protected:
  void Enumerate(std::vector<std::string> names) {
    listing_.names = std::move(names);
    list_.Enumerate();
  }
  testing::ScriptedPortListing listing_;
  PortList list_{listing_};
};

TEST_F(PortListTest, ListsOnlyNamesWithAPortNumberInSystemOrder) {
  Enumerate({"Broad Elm USB to Serial Ports (COM12)", "Printer port (LPT1)",
             "Ostar RS232 Emulation (COM3)", "odd (COMx)", "", "x (COM200) trailing"});
  ASSERT_EQ(list_.Count(), 4);
  EXPECT_EQ(list_.PortAt(0), 12);
  EXPECT_EQ(list_.PortAt(1), 3);
  EXPECT_EQ(list_.PortAt(2), 0) << "no digits after the marker read as 0";
  EXPECT_EQ(list_.PortAt(3), 200);
  EXPECT_EQ(list_.NameAt(1), "Ostar RS232 Emulation (COM3)");
  EXPECT_TRUE(list_.Contains(12));
  EXPECT_FALSE(list_.Contains(1));
  EXPECT_EQ(list_.PortAt(-1), -1);
  EXPECT_EQ(list_.PortAt(4), -1);
  EXPECT_FALSE(list_.NameAt(-1));
  EXPECT_FALSE(list_.NameAt(4));
}

TEST_F(PortListTest, HostileNamesAreBounded) {
  Enumerate({"x (COM99999999999999999999)", std::string(1000, 'n') + " (COM5)"});
  ASSERT_EQ(list_.Count(), 1) << "a marker beyond 255 characters is cut off with the name";
  EXPECT_EQ(list_.PortAt(0), 0x7FFFFFFF);
  EXPECT_LE(list_.NameAt(0)->size(), 255u);
  // A failed listing leaves the list empty.
  listing_.fails = true;
  list_.Enumerate();
  EXPECT_EQ(list_.Count(), 0);
}

TEST(SystemPortListing, RegisteredPortsComeFirstByNumberWithTheirNames) {
  testing::TempPortDir dir;
  testing::PtyPeer high(140), low(130), unnamed(135);
  ASSERT_TRUE(high.ok() && low.ok() && unnamed.ok());
  std::ofstream(PortFriendlyNamePath(140)) << "Ostar RS232 Emulation\n";
  std::ofstream(PortFriendlyNamePath(130)) << "Broad Elm USB to Serial Ports";
  // A link whose device is gone, and entries that are not ports, are left out.
  std::filesystem::create_symlink("/nonexistent/tty", dir.path() + "/COM150");
  std::ofstream(dir.path() + "/COMx") << "";
  std::ofstream(dir.path() + "/notes.txt") << "";

  PortList list;
  list.Enumerate();
  ASSERT_GE(list.Count(), 3);
  EXPECT_EQ(list.NameAt(0), "Broad Elm USB to Serial Ports (COM130)");
  EXPECT_EQ(list.NameAt(1),
            std::filesystem::canonical(unnamed.device_path()).string() + " (COM135)");
  EXPECT_EQ(list.NameAt(2), "Ostar RS232 Emulation (COM140)");
  EXPECT_FALSE(list.Contains(150));
  for (int i = 3; i < list.Count(); ++i) {
    EXPECT_TRUE(FixedDevicePath(static_cast<uint8_t>(list.PortAt(i))))
        << "system devices follow, with their fixed numbers: " << *list.NameAt(i);
  }
}

}  // namespace
}  // namespace velmar
