#pragma once
#include <optional>
#include <string>
#include <vector>

#include "server/ServerAddress.h"

namespace velmar::cli {

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNeedSdCard = 3;
inline constexpr int kExitNoTool = 4;
// Ended by Ctrl-C, SIGTERM or SIGHUP (128 + SIGINT, as shells report it).
inline constexpr int kExitInterrupted = 130;

enum class Command {
  None, Update, Info, Ports, Check, Sensors, Clock, Reset, SelfUpdate, History, Report
};

// How questions are answered: from the switches, or by asking on the terminal.
enum class AnswerPolicy { Ask, Yes, No };

struct CliOptions {
  Command command = Command::None;
  std::string command_name;
  bool help = false;
  std::optional<int> port;  // user mode on this port; nothing: automatic detection
  ServerAddress server;
  std::string config_path = "Velmar.cfg";
  int timeout_seconds = 30;
  AnswerPolicy answers = AnswerPolicy::Ask;
  bool json = false;
  bool trace = false;
  bool options_only = false;
  std::string output_path;    // sensors: where the report goes; empty: stdout
  std::string target_folder;  // self-update: where the new version goes; empty: current folder
  std::string serial_filter;  // history: only this tool's records
  int limit = 0;              // history: at most this many records; 0: all
  bool pending = false;       // report: send the kept status reports
};

struct ParseOutcome {
  std::optional<CliOptions> options;  // nothing on a usage error
  std::string error;                  // what was wrong, for the user
};

// Reads the arguments after the program name: a command, then its options in any order
// ("--name value" or "--name=value"). The server falls back to $VELMAR_SERVER, then to the
// built-in default.
ParseOutcome ParseArguments(const std::vector<std::string>& args);

// The usage text of one command, or of the program when the command is None.
std::string UsageText(Command command);

const char* CommandName(Command command);

}  // namespace velmar::cli
