// The velmar-toolsim program end to end: ready line, port directory entries, restarts and
// start-up progress across a real process boundary, signals and the state file.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "PtyClient.h"
#include "ToolProfile.h"
#include "support/FakeSerial.h"
#include "tools/ChildProcess.h"

namespace velmar::toolsim {
namespace {

namespace fs = std::filesystem;
using velmar::testing::ChildProcess;
using velmar::testing::FromHex;
using velmar::testing::RunCommand;
using velmar::testing::ToHex;
using velmar::testing::WithCrc;
using velmar::toolsim::testing::Eventually;
using velmar::toolsim::testing::PtyClient;
using namespace std::chrono_literals;

constexpr auto kDeadline = 5000ms;
constexpr const char* kBroadcastFinish = "FF 10 00 00 00 01 02 00 07 AF F6";

std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

class ToolsimProcessTest : public ::testing::Test {
 protected:
  std::vector<std::string> Arguments(const std::string& profile, int port) {
    return {VELMAR_TOOLSIM_BINARY,
            "--profile",
            ShippedProfilePath(profile),
            "--port",
            std::to_string(port),
            "--port-dir",
            (directory_ / "ports").string(),
            "--state",
            StatePath(),
            "--restart-delay-ms",
            "40",
            "--progress-interval-ms",
            "20"};
  }
  // Starts the program and returns its ready line ("" when none came).
  std::string Launch(ChildProcess& tool, std::vector<std::string> arguments) {
    std::string line;
    EXPECT_TRUE(tool.Start(arguments));
    EXPECT_TRUE(tool.ReadLine(line, kDeadline)) << tool.Stderr();
    return line;
  }
  std::string StatePath() const { return (directory_ / "state.json").string(); }
  fs::path Link(int port) const { return directory_ / "ports" / ("COM" + std::to_string(port)); }
  nlohmann::json State() const {
    std::ifstream in(StatePath());
    return nlohmann::json::parse(in, nullptr, false);
  }

  velmar::testing::TempDir temp_;
  fs::path directory_{temp_.Path()};
};

TEST_F(ToolsimProcessTest, PrintsTheReadyLineAndRegistersLinkAndName) {
  ChildProcess first;
  const std::string line = Launch(first, Arguments("protocol1.json", 21));
  ASSERT_EQ(line.rfind("COM21 /dev/pts/", 0), 0u) << line;
  EXPECT_EQ(fs::read_symlink(Link(21)).string(), line.substr(6));
  EXPECT_EQ(FirstLine(Link(21).string() + ".name"), "Broad Elm USB to Serial Ports");

  std::vector<std::string> arguments = Arguments("protocol2.json", 22);
  arguments.insert(arguments.end(), {"--adapter-name", "Ostar RS232 Emulation (test bench)"});
  ChildProcess second;
  ASSERT_FALSE(Launch(second, arguments).empty());
  EXPECT_EQ(FirstLine(Link(22).string() + ".name"), "Ostar RS232 Emulation (test bench)");

  PtyClient client(Link(21).string());
  EXPECT_EQ(client.Exchange(FromHex("7F 03 F7 00 00 03 3D A1"), 11).size(), 11u);
}

TEST_F(ToolsimProcessTest, SigtermWritesTheStateAndRemovesThePort) {
  ChildProcess tool;
  ASSERT_FALSE(Launch(tool, Arguments("protocol2.json", 25)).empty());
  {
    PtyClient client(Link(25).string());
    for (const char* request : {"FF 10 A5 11 00 04 08 00 10 00 00 61 62 63 64",
                                "FF 10 A5 AB 00 02 04 02 00 21 00", "FF 10 00 00 00 01 02 00 07"})
      EXPECT_EQ(client.Exchange(WithCrc(FromHex(request)), 8).size(), 8u) << request;
  }
  ASSERT_EQ(tool.Stop(SIGTERM, kDeadline), 0) << tool.Stderr();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(25))));
  EXPECT_FALSE(fs::exists(Link(25).string() + ".name"));
  const nlohmann::json state = State();
  ASSERT_TRUE(state.is_object());
  ASSERT_EQ(state["written"].size(), 1u);
  EXPECT_EQ(state["written"][0]["startHex"], "0x00001000");
  EXPECT_EQ(state["written"][0]["sha256"],
            "88d4266fd4e6338d13b845fcf289579d209c897823b9217da3e161936f031589");
  EXPECT_EQ(state["zone"], 2);
  EXPECT_EQ(state["country"], 33);
  ASSERT_EQ(state["finishes"].size(), 1u);
  EXPECT_EQ(state["finishes"][0]["kind"], "register0");
  EXPECT_EQ(state["finishes"][0]["mainSoftware"], false);
  EXPECT_EQ(state["softwareVersion"], "1.00");
}

TEST_F(ToolsimProcessTest, RefusesBadProfilesTakenPortsAndBadSwitches) {
  const fs::path bad = directory_ / "bad.json";
  std::ofstream(bad) << R"({"map": "Protocol2", "serialNumber": "X", "blockSize": 300})";
  std::string errors;
  EXPECT_EQ(RunCommand({VELMAR_TOOLSIM_BINARY, "--profile", bad.string(), "--port", "26"}, nullptr,
                       &errors),
            2);
  EXPECT_NE(errors.find("blockSize"), std::string::npos) << errors;
  const std::string shipped = ShippedProfilePath("protocol2.json");
  EXPECT_EQ(RunCommand({VELMAR_TOOLSIM_BINARY, "--profile", shipped, "--port", "0"}), 2);
  EXPECT_EQ(RunCommand(
                {VELMAR_TOOLSIM_BINARY, "--profile", shipped, "--port", "5", "--drop-rate", "1.5"}),
            2);

  ChildProcess holder;
  ASSERT_FALSE(Launch(holder, Arguments("protocol2.json", 27)).empty());
  ChildProcess second;
  ASSERT_TRUE(second.Start(Arguments("protocol1.json", 27)));
  EXPECT_EQ(second.WaitExit(kDeadline), 2);
  EXPECT_NE(second.Stderr().find("already registered"), std::string::npos) << second.Stderr();
  EXPECT_TRUE(fs::is_symlink(Link(27)));  // the first tool keeps its port
}

}  // namespace
}  // namespace velmar::toolsim
