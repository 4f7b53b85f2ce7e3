#pragma once
// velmar-cli as a process in a folder of its own, against the test's virtual tool and local update
// server: its settings, history, temporary and runtime files all go to that folder, and the
// window's clock runs ten times faster. Header only: the including test names the program
// (VELMAR_CLI_EXE).
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/Pty.h"
#include "support/UpdateTestSupport.h"

namespace velmar::testing {

class CliFolder {
 protected:
  bool StartCli(ChildProcess& cli, std::vector<std::string> args) const {
    std::vector<std::string> environment = {"VELMAR_TEST_CLOCK_SCALE=10"};
    for (const char* name : {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
                             "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
      environment.push_back(std::string(name) + "=" + work_.Path());
    args.insert(args.begin(), VELMAR_CLI_EXE);
    return cli.Start(InFolder(work_.Path(), environment, args));
  }
  ProgramResult RunCli(const std::vector<std::string>& args,
                       std::chrono::milliseconds deadline = std::chrono::seconds(60),
                       std::chrono::milliseconds exit_wait = std::chrono::seconds(5)) const {
    ChildProcess cli;
    return StartCli(cli, args) ? Finish(cli, deadline, exit_wait) : ProgramResult{};
  }
  // The records of `velmar-cli history --json`, newest first.
  nlohmann::json History() const {
    const ProgramResult run = RunCli({"history", "--json"});
    EXPECT_EQ(run.exit, 0) << run;
    const nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
    return document.is_object() ? document["records"] : nlohmann::json::array();
  }
  // The address of the local update server, for --server.
  std::string Server() const { return server_.Address().ToString(); }

  TempPortDir ports_;
  ScratchDir work_;
  ToolProcess tool_;
  ServerProcess server_;
};

}  // namespace velmar::testing
