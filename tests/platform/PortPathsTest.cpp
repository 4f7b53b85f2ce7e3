#include <gtest/gtest.h>

#include <tuple>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/PortListing.h"
#include "platform/PortPaths.h"
#include "support/Pty.h"

namespace velmar {
namespace {

TEST(PortPaths, FixedRangesMapBothWaysAndOnlyWellFormedNamesHaveANumber) {
  const std::pair<int, const char*> edges[] = {{1, "/dev/ttyS0"},    {32, "/dev/ttyS31"},
                                               {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"},
                                               {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}};
  for (const auto& [number, path] : edges) EXPECT_EQ(FixedDevicePath(number), path);
  for (uint8_t number : {0, 97, int{kNoPort}}) EXPECT_FALSE(FixedDevicePath(number)) << int{number};
  for (int n = 1; n <= 96; ++n) {
    EXPECT_EQ(FixedPortNumber(*FixedDevicePath(static_cast<uint8_t>(n))), n);
  }
  for (const char* name : {"/dev/ttyUSB32", "/dev/ttyUSB", "/dev/ttyUSB01", "/dev/ttyUSBx",
                           "/dev/ttyUSB999999999999999999999", "/dev/pts/3"})
    EXPECT_FALSE(FixedPortNumber(name)) << name;
  EXPECT_EQ(FixedPortNumber("/dev/ttyACM7"), 72);
}

TEST(PortPaths, ARegisteredNumberBelongsToItsLinkEvenWhileItDanglesInTheDirectoryOfTheEnvironment) {
  testing::TempPortDir dir;
  testing::PtyPeer peer(33);  // 33 would otherwise be /dev/ttyUSB0
  ASSERT_TRUE(peer.ok());
  EXPECT_EQ(ResolvePortDevice(33), dir.path() + "/COM33");
  // COM1 is /dev/ttyS0 by the fixed mapping; registered, it must never fall back to it.
  std::filesystem::create_symlink("/nonexistent/tty", dir.path() + "/COM1");
  EXPECT_EQ(ResolvePortDevice(1), std::nullopt);
  std::vector<std::string> names;
  SystemPortListing().FriendlyNames(names);
  for (const auto& name : names) EXPECT_EQ(name.find("(COM1)"), std::string::npos) << name;

  // The port directory follows the environment in order.
  EXPECT_EQ(PortDirectory(), dir.path());
  unsetenv("VELMAR_PORT_DIR");
  setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(PortDirectory(), "/run/user/4242/velmar/ports");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(PortDirectory(), "/tmp/velmar-" + std::to_string(getuid()) + "/ports");
  EXPECT_EQ(PortName(7), "COM7");
  setenv("VELMAR_PORT_DIR", dir.path().c_str(), 1);  // where the peer removes its link
}

// Another local user who makes the folder first must not be able to plant a port in it.
TEST(PortPaths, OnlyAPrivateFolderOfTheUserIsBelieved) {
  const bool root = geteuid() == 0;
  namespace fs = std::filesystem;
  // Each row but the first starts from a private base/velmar/ports and changes it as named.
  const std::tuple<std::string, bool, const char*> rows[] = {
      {"missing", true, ""},
      {"private", true, ""},
      {"writable by all", false, "/velmar/ports is writable by other users"},
      {"a link to a private folder", false, "/velmar/ports is a link"},
      {"a file", false, "/velmar/ports is not a folder"},
      {"another user's", false, "/velmar/ports belongs to user 65534"},
      {"inside another user's folder", false, "/velmar belongs to user 65534"},
  };
  for (const auto& [name, usable, why] : rows) {
    SCOPED_TRACE(name);
    // chown needs root; the other rows still run.
    if (name.find("another user") != std::string::npos && !root) continue;
    testing::TempPortDir scratch;  // a private base, and VELMAR_PORT_DIR set aside
    unsetenv("VELMAR_PORT_DIR");
    setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 1);
    const std::string outer = scratch.path() + "/velmar", ports = outer + "/ports";
    if (name != "missing") {
      fs::create_directories(ports);
      fs::permissions(outer, fs::perms::owner_all);
      fs::permissions(ports, fs::perms::owner_all);
    }
    if (name == "writable by all") fs::permissions(ports, fs::perms::all);
    if (name == "a link to a private folder") {
      fs::rename(ports, scratch.path() + "/elsewhere");
      fs::create_directory_symlink(scratch.path() + "/elsewhere", ports);
    }
    if (name == "a file") fs::remove(ports), std::ofstream(ports) << "";
    if (name == "another user's") (void)!chown(ports.c_str(), 65534, 65534);
    if (name == "inside another user's folder") (void)!chown(outer.c_str(), 65534, 65534);
    std::string problem;
    const auto dir = UsablePortDirectory(&problem);
    EXPECT_EQ(dir.has_value(), usable) << problem;
    EXPECT_NE(problem.find(why), std::string::npos) << problem;
    // A port registered there: believed only in a usable folder.
    testing::PtyPeer tool(140);
    if (usable) {
      struct stat info {};
      ASSERT_EQ(lstat(dir->c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 0777, 0700u);
      EXPECT_EQ(ResolvePortDevice(140), *dir + "/COM140");
    } else {
      EXPECT_EQ(ResolvePortDevice(140), std::nullopt);
      std::vector<std::string> names;
      SystemPortListing().FriendlyNames(names);
      for (const auto& listed : names) EXPECT_EQ(listed.find("(COM140)"), std::string::npos) << listed;
    }
    unsetenv("XDG_RUNTIME_DIR");
  }
  if (!root) GTEST_SKIP() << "the rows of another user's folder need root";
}

}  // namespace
}  // namespace velmar
