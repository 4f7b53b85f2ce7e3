// The commands run in process with string streams: usage, the console view's output, the
// port list and the search that finds nothing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliOptions.h"
#include "Commands.h"
#include "ConsoleView.h"
#include "ProgramCatalogue.h"
#include "app/ControlIds.h"
#include "platform/Sha256.h"
#include "support/Pty.h"
#include "support/UpdateTestSupport.h"

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
      {{"info", "--to", "/tmp"}, "unknown option"},
      {{"self-update", "--to"}, "needs a value"},
      {{"self-update", "--to="}, "needs a folder"},
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
  for (const char* command :
       {"update", "info", "check", "ports", "sensors", "clock", "reset", "self-update"}) {
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
  std::istringstream in(" Yes\nnope\nJa\noui\n\xE3\x81\xAF\xE3\x81\x84\nnein\n");
  ConsoleView asking(out, in, AnswerPolicy::Ask, false);
  EXPECT_TRUE(asking.AskYesNo("Update?", MessageIcon::Information));
  EXPECT_FALSE(asking.AskYesNo("Update?", MessageIcon::Information));
  for (int i = 0; i < 3; ++i)  // Ja, oui, hai: the questions may be asked in those languages
    EXPECT_TRUE(asking.AskYesNo("Update?", MessageIcon::Information)) << i;
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
  std::map<int, nlohmann::json> ports;
  const auto document = nlohmann::json::parse(run.out);
  for (const auto& port : document["ports"]) ports[port["number"].get<int>()] = port;
  ASSERT_TRUE(ports.count(9) && ports.count(10)) << run.out;
  EXPECT_EQ(ports[9]["device"], adapter.device_path());
  EXPECT_NE(ports[9]["name"].get<std::string>().find("Ostar RS232 Emulation"), std::string::npos);
  EXPECT_EQ(std::make_pair(ports[9]["adapter"], ports[10]["adapter"]), std::make_pair(nlohmann::json(true), nlohmann::json(false)));

  const CliRun text = RunArgs({"ports"});
  EXPECT_NE(text.out.find("COM9  " + adapter.device_path()), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("<- tool adapter"), std::string::npos);

  // A folder others can write to: its ports are ignored, with one line on stderr.
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  const CliRun open = RunArgs({"ports"});
  EXPECT_EQ(open.out.find("COM9"), std::string::npos) << open.out;
  EXPECT_EQ(open.err, "velmar-cli: Port folder ignored: " + dir.path() +
                          " is writable by other users. Only the system's serial ports are used.\n");
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

// ---------------------------------------------------------------- self-update

class CliSelfUpdate : public ::testing::Test {
 protected:
  // The server with the program's catalogue; false when it could not start.
  bool StartServer(bool newer, std::vector<std::string> switches = {}) {
    return testing::WriteProgramCatalogue(catalogue_.Path(), newer) &&
           server_.Start(catalogue_.Path(), std::move(switches));
  }
  CliRun Run(std::vector<std::string> args, const std::string& input = "",
             bool in_terminal = false) {
    args.insert(args.begin(), "self-update");
    args.insert(args.end(), {"--server", server_.Address().ToString(), "--to", target_.Path()});
    return RunArgs(args, input, in_terminal);
  }
  bool Downloaded() const {
    for (const auto& step : server_.Steps())
      if (step.rfind("download_version/", 0) == 0) return true;
    return false;
  }

  testing::ScratchDir catalogue_;
  testing::ScratchDir target_;
  testing::ServerProcess server_;
};

TEST_F(CliSelfUpdate, WritesTheNewVersionOnceConfirmedAndRunsNothing) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(StartServer(true));
  const std::string file = target_.File(testing::kProgramItem);
  const CliRun run = Run({"--json", "--yes", "--trace"});
  ASSERT_EQ(run.exit, kExitOk) << run.out << run.err;
  const auto bytes = testing::ReadFileBytes(file);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), testing::kProgramText);
  const nlohmann::json expected_document = {  // a text stays data: not executable
      {"command", "self-update"}, {"ok", true},          {"newVersionAvailable", true},
      {"availableVersion", "0.2.0"}, {"file", file},    {"sha256", Sha256Hex(bytes)},
      {"executable", false}};
  const auto document = nlohmann::json::parse(run.out);
  for (const auto& [key, value] : expected_document.items()) EXPECT_EQ(document[key], value) << key;
  // The window's own texts and questions, on stderr with --json.
  EXPECT_NE(run.err.find("A new version of Velmar software is available."), std::string::npos);
  EXPECT_NE(run.err.find("[y/N] yes"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("File transfert complete."), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Received invalid file."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Download 100 %"), std::string::npos) << run.err;
  // --trace shows the requests, with the program's identity in the form.
  EXPECT_NE(
      run.err.find("http > POST http://" + server_.Address().ToString() + "/download/redirect.php"),
      std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("s=S22222222"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("http < 200"), std::string::npos) << run.err;
  const std::vector<std::string> expected = {"test_version/redirect", "test_version/action",
                                             "download_version/redirect",
                                             "download_version/action"};
  EXPECT_EQ(server_.Steps(), expected) << "no tool is looked for and no status is reported";
}

TEST_F(CliSelfUpdate, OnlyAYesOnTheTerminalOrInTheCommandDownloads) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(StartServer(true));
  const CliRun json_run = Run({"--json"}, "y\n", true);
  EXPECT_EQ(json_run.exit, kExitFailed) << json_run.out << json_run.err;
  const auto document = nlohmann::json::parse(json_run.out);
  EXPECT_EQ(document["declined"], true);
  EXPECT_EQ(document["newVersionAvailable"], true);
  EXPECT_NE(document["error"].get<std::string>().find("--yes"), std::string::npos);

  const CliRun asked = Run({}, "n\n", true);
  EXPECT_EQ(asked.exit, kExitFailed);
  EXPECT_NE(asked.out.find("Do you want to upgrade Velmar software tool ? [y/N] "),
            std::string::npos)
      << asked.out;
  EXPECT_NE(asked.err.find("declined"), std::string::npos) << asked.err;

  EXPECT_FALSE(Downloaded());
  EXPECT_FALSE(std::filesystem::exists(target_.File(testing::kProgramItem)));

  const CliRun yes = Run({}, "yes\n", true);
  ASSERT_EQ(yes.exit, kExitOk) << yes.out << yes.err;
  EXPECT_NE(yes.out.find("Velmar 0.2.0 written to " + target_.File(testing::kProgramItem)),
            std::string::npos)
      << yes.out;
  EXPECT_TRUE(Downloaded());
}

TEST_F(CliSelfUpdate, NothingNewerIsSuccessWithoutAQuestion) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(StartServer(false));
  const CliRun run = Run({"--yes"});
  EXPECT_EQ(run.exit, kExitOk) << run.out << run.err;
  EXPECT_NE(run.out.find("Velmar is up to date"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("[y/N]"), std::string::npos);
  EXPECT_FALSE(Downloaded());
}

TEST_F(CliSelfUpdate, ServerFailuresAndABrokenArchiveAreExitOne) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(StartServer(true, {"--truncate-body", "40"}));
  const CliRun cut = Run({"--yes", "--json"});
  EXPECT_EQ(cut.exit, kExitFailed) << cut.out << cut.err;
  EXPECT_NE(nlohmann::json::parse(cut.out)["error"].get<std::string>().find(
                "Unable to connect to the Internet server."),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(target_.File(testing::kProgramItem)));
  server_.Stop();

  // Not a zip archive at all, though whole.
  ASSERT_TRUE(testing::WriteFileText(catalogue_.File(testing::kProgramZip), "not a zip archive"));
  ASSERT_TRUE(server_.Start(catalogue_.Path()));
  const CliRun broken = Run({"--yes", "--json"});
  EXPECT_EQ(broken.exit, kExitFailed) << broken.out << broken.err;
  EXPECT_NE(nlohmann::json::parse(broken.out)["error"].get<std::string>().find("not a usable"),
            std::string::npos)
      << broken.out;
  EXPECT_EQ(std::filesystem::directory_iterator(target_.Path()),
            std::filesystem::directory_iterator())
      << "nothing written";
}

TEST(CliSelfUpdateFolder, AMissingFolderIsUsageAndNoServerIsAsked) {
  testing::ScratchDir scratch;
  const CliRun run = RunArgs({"self-update", "--yes", "--json", "--server", "127.0.0.1:9", "--to",
                              scratch.File("missing")});
  EXPECT_EQ(run.exit, kExitUsage) << run.out;
  EXPECT_NE(nlohmann::json::parse(run.out)["error"].get<std::string>().find("is not a folder"),
            std::string::npos);
}

}  // namespace
}  // namespace velmar::cli
