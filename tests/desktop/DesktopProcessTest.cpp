// The desktop program as a process: one instance per user, and a termination signal ending it
// as EXIT does, with its settings written, even while a question is open.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "support/ShippedTool.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

constexpr const char* kLockName = "00E2F422-KORNDAL-ABC7-AA2E10B6B2A5.lock";

// Some process holds a whole-file lock on `path` (seen in /proc/locks by the file's inode).
bool LockHeld(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  std::ifstream locks("/proc/locks");
  const std::string inode = ":" + std::to_string(info.st_ino) + " ";
  for (std::string line; std::getline(locks, line);)
    if (line.find(" FLOCK ") != std::string::npos && line.find(inode) != std::string::npos)
      return true;
  return false;
}

std::vector<std::string> Command(const std::string& folder) {
  return testing::InFolder(folder,
                           {"XDG_RUNTIME_DIR=" + folder + "/run", "VELMAR_PORT_DIR=" + folder + "/ports",
                            "VELMAR_SERVER=127.0.0.1:9", "QT_QPA_PLATFORM=offscreen", "LC_ALL=C.UTF-8"},
                           {VELMAR_DESKTOP_EXE, "--tray"});  // as at login
}

// The sensor-report question at detection runs a nested loop while the scanner watches the
// tool. Meanwhile a second start is turned away, and a termination signal ends the first
// within two seconds, its settings written and its lock released.
TEST(DesktopProcess, ASecondStartIsTurnedAwayAndATermWhileAQuestionIsOpenEndsTheFirst) {
  testing::TempDir folder;
  std::filesystem::create_directories(folder.File("run"));
  std::filesystem::create_directories(folder.File("ports"));
  const std::string lock = folder.File("run/velmar/") + kLockName;
  toolsim::VirtualToolOptions options = testing::ShippedToolOptions("protocol2.json", 7);
  options.port_directory = folder.File("ports");
  std::mutex trace_lock;
  std::string trace;
  options.trace = [&](const std::string& line) {
    std::lock_guard<std::mutex> hold(trace_lock);
    trace += line + "\n";
  };
  toolsim::VirtualTool tool(options);
  std::string error;
  ASSERT_EQ(tool.Start(&error), 0) << error;

  testing::ChildProcess program;
  ASSERT_TRUE(program.Start(Command(folder.Path())));
  // The last sensor record is read just before the question opens.
  ASSERT_TRUE(testing::Eventually(
      [&] {
        std::lock_guard<std::mutex> hold(trace_lock);
        return trace.find("read 0xA70") != std::string::npos;
      },
      30s))
      << program.Stderr();
  EXPECT_TRUE(LockHeld(lock));

  testing::ChildProcess second;
  ASSERT_TRUE(second.Start(Command(folder.Path())));
  std::string said;
  EXPECT_TRUE(testing::Eventually(
      [&] {
        said += second.Stderr();
        return said.find("Korda is still running !!!!") != std::string::npos;
      },
      20s))
      << said;
  second.Stop(SIGKILL, 5s);  // its box waits for a click nobody gives

  const auto start = Steady::now();
  const int status = program.Stop(SIGTERM, 20s);
  EXPECT_LT(Steady::now() - start, 2s);
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status << "\n" << program.Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(std::filesystem::exists(folder.File("Velmar.cfg")));
  EXPECT_EQ(std::filesystem::file_size(folder.File("Velmar.cfg")), 16u);
  EXPECT_FALSE(LockHeld(lock));
  tool.Stop();
}

}  // namespace
}  // namespace velmar
