// The commands run in process with string streams: usage, the console view's output, the
// port list and the search that finds nothing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliOptions.h"
#include "Commands.h"
#include "ConsoleView.h"
#include "app/ControlIds.h"
#include "support/Pty.h"

namespace velmar::cli {
namespace {

struct CliRun {
  int exit = -1;
  std::string out;
  std::string err;
};

CliRun RunArgs(const std::vector<std::string>& args, const std::string& input = "",
               bool in_terminal = false) {
  std::ostringstream out, err;
  std::istringstream in(input);
  CliRun run;
  run.exit = RunCli(args, CliStreams{out, err, in, false, in_terminal});
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(CliUsage, WrongUsageExitsTwoAndSaysWhy) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command"},
      {{"flash"}, "unknown command"},
      {{"info", "--bogus"}, "unknown option"},
      {{"info", "--port"}, "needs a value"},
      {{"info", "--port", "0"}, "1 to 254"},
      {{"info", "--port", "255"}, "1 to 254"},
      {{"info", "--port", "7x"}, "1 to 254"},
      {{"info", "--timeout", "0"}, "--timeout"},
      {{"info", "--server", "host:99999"}, "--server"},
      {{"info", "--server", "bad host"}, "--server"},
      {{"update", "--yes", "--no"}, "together"},
      {{"info", "--options-only"}, "unknown option"},
      {{"info", "--json=1"}, "takes no value"},
      {{"info", "-o", "x"}, "unknown option"},
      {{"sensors", "-o"}, "needs a value"},
  };
  for (const auto& [args, why] : cases) {
    const CliRun run = RunArgs(args);
    EXPECT_EQ(run.exit, kExitUsage) << why;
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
}

TEST(CliUsage, AUsageErrorWithJsonIsADocumentOnStdout) {
  const CliRun run = RunArgs({"info", "--json", "--port", "300"});
  EXPECT_EQ(run.exit, kExitUsage);
  const auto document = nlohmann::json::parse(run.out);
  EXPECT_EQ(document["exit"], 2);
  EXPECT_EQ(document["ok"], false);
  EXPECT_NE(document["error"].get<std::string>().find("--port"), std::string::npos);
}

TEST(CliUsage, EveryCommandHasHelp) {
  for (const char* command : {"update", "info", "check", "ports", "sensors", "clock", "reset"}) {
    const CliRun run = RunArgs({command, "--help"});
    EXPECT_EQ(run.exit, kExitOk);
    EXPECT_EQ(run.out.rfind(std::string("usage: velmar-cli ") + command, 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Exit codes"), std::string::npos);
  }
  const CliRun general = RunArgs({"--help"});
  EXPECT_EQ(general.exit, kExitOk);
  EXPECT_NE(general.out.find("update"), std::string::npos);
}

TEST(CliUsage, OptionsInBothFormsAndTheServerFallback) {
  setenv("VELMAR_SERVER", "env.example:8081", 1);
  auto parsed = ParseArguments({"update", "--port=12", "--timeout", "5", "--yes", "--json",
                                "--options-only", "--config", "/tmp/x.cfg"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->port, 12);
  EXPECT_EQ(parsed.options->timeout_seconds, 5);
  EXPECT_EQ(parsed.options->answers, AnswerPolicy::Yes);
  EXPECT_TRUE(parsed.options->json);
  EXPECT_TRUE(parsed.options->options_only);
  EXPECT_EQ(parsed.options->config_path, "/tmp/x.cfg");
  EXPECT_EQ(parsed.options->server.host, "env.example");
  EXPECT_EQ(parsed.options->server.port, 8081);

  parsed = ParseArguments({"info", "--server", "127.0.0.1:9000"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->server.port, 9000) << "the command line wins over the environment";

  setenv("VELMAR_SERVER", "not a host", 1);
  EXPECT_FALSE(ParseArguments({"info"}).options) << "a malformed environment value is an error";
  unsetenv("VELMAR_SERVER");
  parsed = ParseArguments({"info"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->server, ServerAddress{});
}

// ---------------------------------------------------------------- the console view

TEST(ConsoleViewLog, PrintsOnlyTheNewLinesOfTheRewrittenLog) {
  std::ostringstream out;
  std::istringstream in;
  ConsoleView view(out, in, AnswerPolicy::No, false);
  view.SetStatusLog("Searching\r\n");
  view.SetStatusLog("Searching\r\nFound\r\n");
  view.SetStatusLog("Searching\r\nFound\r\nLoading 1/3\r\n");
  view.SetStatusLog("Searching\r\nFound\r\nLoading 2/3\r\n");  // the last line replaced
  view.SetStatusLog("");                                       // cleared: nothing to print
  view.SetStatusLog("Device disconnected\r\n");
  view.SetStatusLog("Device disconnected\r\npartial");
  EXPECT_EQ(out.str(),
            "Searching\nFound\nLoading 1/3\nLoading 2/3\nDevice disconnected\npartial\n");
}

TEST(ConsoleViewProgress, OnAPipeALineAtEachNewTenthOnly) {
  std::ostringstream out;
  std::istringstream in;
  ConsoleView view(out, in, AnswerPolicy::No, false);
  for (int p : {0, 3, 9, 10, 11, 19, 25, 25, 99, 100, 100})
    view.SetProgress(control::kDownloadBar, p);
  view.SetProgress(control::kTransferBar, 50);
  view.SetProgress(control::kDownloadBar, 0);  // the next package starts again
  view.SetProgress(control::kDownloadBar, 12);
  view.SetProgress(999, 50);  // not a bar
  EXPECT_EQ(out.str(),
            "Download 10 %\nDownload 25 %\nDownload 99 %\nDownload 100 %\nTransfer 50 %\nDownload "
            "12 %\n");
}

TEST(ConsoleViewProgress, OnATerminalTheBarsAreRedrawnInPlace) {
  std::ostringstream out;
  std::istringstream in;
  ConsoleView view(out, in, AnswerPolicy::No, true);
  view.SetProgress(control::kDownloadBar, 50);
  view.SetStatusLog("Loading\r\n");
  view.FinishOutput();
  const std::string text = out.str();
  EXPECT_NE(text.find("\r\033[KDownload [##########..........] 50 %"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\033[KLoading\n"), std::string::npos) << "the bar line is cleared first";
  EXPECT_EQ(text.back(), '\n');
}

TEST(ConsoleViewQuestions, AnsweredByPolicyForcedOrFromTheTerminal) {
  std::ostringstream out;
  std::istringstream in(" Yes\nnope\n");
  ConsoleView asking(out, in, AnswerPolicy::Ask, false);
  EXPECT_TRUE(asking.AskYesNo("Update?", MessageIcon::Information));
  EXPECT_FALSE(asking.AskYesNo("Update?", MessageIcon::Information));
  EXPECT_FALSE(asking.AskYesNo("Update?", MessageIcon::Information)) << "end of input is No";

  ConsoleView yes(out, in, AnswerPolicy::Yes, false);
  yes.ForceAnswer("Would you like", false);
  EXPECT_TRUE(yes.AskYesNo("Update?", MessageIcon::Information));
  EXPECT_FALSE(yes.AskYesNo("Would you like to print", MessageIcon::Information));
  ASSERT_EQ(yes.Questions().size(), 2u);
  EXPECT_TRUE(yes.Questions()[0].answer);
}

TEST(ConsoleViewBoxes, ABoxThatRepeatsTheLastLogLineIsShownOnce) {
  std::ostringstream out;
  std::istringstream in;
  ConsoleView view(out, in, AnswerPolicy::No, false);
  view.SetStatusLog("Done.\r\n");
  view.ShowMessage("Done.", MessageIcon::Information);
  view.ShowMessage("Other.", MessageIcon::Information);
  EXPECT_EQ(out.str(), "Done.\nOther.\n");
  EXPECT_TRUE(view.BoxShown("Done."));
}

// ---------------------------------------------------------------- ports and no tool

TEST(CliPorts, ListsRegisteredPortsAndMarksTheAdapter) {
  testing::TempPortDir dir;
  testing::PtyPeer adapter(9), other(10);
  ASSERT_TRUE(adapter.ok() && other.ok());
  std::ofstream(dir.path() + "/COM9.name") << "Ostar RS232 Emulation";
  std::ofstream(dir.path() + "/COM10.name") << "Some modem";
  const CliRun run = RunArgs({"ports", "--json"});
  ASSERT_EQ(run.exit, kExitOk) << run.err;
  const auto document = nlohmann::json::parse(run.out);
  bool seen9 = false, seen10 = false;
  for (const auto& port : document["ports"]) {
    if (port["number"] == 9) {
      seen9 = true;
      EXPECT_TRUE(port["adapter"].get<bool>());
      EXPECT_EQ(port["device"], adapter.device_path());
      EXPECT_NE(port["name"].get<std::string>().find("Ostar RS232 Emulation"), std::string::npos);
    }
    if (port["number"] == 10) {
      seen10 = true;
      EXPECT_FALSE(port["adapter"].get<bool>());
    }
  }
  EXPECT_TRUE(seen9 && seen10) << run.out;

  const CliRun text = RunArgs({"ports"});
  EXPECT_NE(text.out.find("COM9  " + adapter.device_path()), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("<- tool adapter"), std::string::npos);
}

TEST(CliNoTool, AnAbsentPortIsReportedAtOnce) {
  testing::TempPortDir dir;
  const CliRun run = RunArgs({"info", "--port", "200", "--json"});
  EXPECT_EQ(run.exit, kExitNoTool);
  const auto document = nlohmann::json::parse(run.out);
  EXPECT_NE(document["error"].get<std::string>().find("velmar-cli ports"), std::string::npos);
}

TEST(CliNoTool, ASilentAdapterEndsWithinTheTimeout) {
  testing::TempPortDir dir;
  testing::PtyPeer adapter(9);  // the adapter is there; nothing answers on it
  ASSERT_TRUE(adapter.ok());
  std::ofstream(dir.path() + "/COM9.name") << "Ostar RS232 Emulation";
  const auto start = std::chrono::steady_clock::now();
  const CliRun run = RunArgs({"check", "--timeout", "2"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.exit, kExitNoTool);
  // A detection attempt under way when the time is up is finished first (a few seconds of
  // read time-outs); the bound only proves that the search does not go on.
  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_NE(run.err.find("no tool found within 2 s"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("did not answer"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace velmar::cli
