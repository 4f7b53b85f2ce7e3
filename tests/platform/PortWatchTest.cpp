// The system's port watch on a real port directory: which changes wake the scanner.
#include <gtest/gtest.h>

#include <tuple>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/PortWatch.h"
#include "support/Pty.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

TEST(SystemPortWatch, ALinkComingOrGoingIsAChangeAndItsCompanionFilesAreNot) {
  testing::TempPortDir dir;
  const fs::path ports = dir.path();
  PortWatch& watch = SystemPortWatch();
  ASSERT_TRUE(watch.Active());
  EXPECT_FALSE(watch.WaitForChange(0));

  const std::tuple<const char*, std::function<void()>, bool> steps[] = {
      {"friendly-name file", [&] { std::ofstream(ports / "COM7.name") << "Ostar RS232 Emulation\n"; }, false},
      {"temporary link", [&] { fs::create_symlink("/dev/null", ports / "COM7.new"); }, false},
      {"link renamed into place", [&] { fs::rename(ports / "COM7.new", ports / "COM7"); }, true},
      {"link removed", [&] { fs::remove(ports / "COM7"); }, true},
      {"link made in place", [&] { fs::create_symlink("/dev/null", ports / "COM12"); }, true},
      {"another file", [&] { std::ofstream(ports / "COMx") << ""; }, false},
      {"folder removed", [&] { fs::remove_all(ports); }, true},
      {"folder back: watched again", [&] { fs::create_directory(ports); }, true},
      {"link in the new folder", [&] { fs::create_symlink("/dev/null", ports / "COM3"); }, true},
  };
  for (const auto& [what, act, change] : steps) {
    act();
    // A change is reported as soon as it is read; none is waited out to the end (50 ms).
    EXPECT_EQ(watch.WaitForChange(change ? 5000 : 50), change) << what;
  }
}

}  // namespace
}  // namespace velmar
