#include "CliOptions.h"

#include <charconv>

namespace velmar::cli {

namespace {

constexpr int kMaxTimeoutSeconds = 3600;

const char* const kCommonOptions =
    "Options:\n"
    "  --port N            use serial port N (1 to 254) instead of finding the tool's adapter\n"
    "  --server HOST[:PORT] update server (default: $VELMAR_SERVER, else the built-in one)\n"
    "  --config PATH       settings file (default: Velmar.cfg); read, never written\n"
    "  --timeout SECONDS   how long to look for the tool (default: 30)\n"
    "  --yes | --no        answer every question Yes or No instead of asking\n"
    "  --json              print one JSON document with the result; the log goes to stderr\n"
    "  --trace             print every Modbus frame and HTTP request on stderr\n"
    "  --help              this text\n";

const char* const kExitCodes =
    "Exit codes: 0 success, 1 the job failed, 2 wrong usage, 3 the tool needs an SD card,\n"
    "4 no tool found, 130 interrupted (Ctrl-C, SIGTERM or SIGHUP).\n";

std::optional<Command> CommandFromName(const std::string& name) {
  if (name == "update") return Command::Update;
  if (name == "info") return Command::Info;
  if (name == "ports") return Command::Ports;
  if (name == "check") return Command::Check;
  if (name == "sensors") return Command::Sensors;
  if (name == "clock") return Command::Clock;
  if (name == "reset") return Command::Reset;
  if (name == "self-update") return Command::SelfUpdate;
  if (name == "history") return Command::History;
  if (name == "report") return Command::Report;
  return std::nullopt;
}

bool ParseNumber(const std::string& text, int low, int high, int& value) {
  int number = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, number);
  if (ec != std::errc() || ptr != end || number < low || number > high) return false;
  value = number;
  return true;
}

bool TakesValue(const std::string& name) {
  return name == "--port" || name == "--server" || name == "--config" || name == "--timeout" ||
         name == "--output" || name == "-o" || name == "--to" || name == "--serial" ||
         name == "--limit";
}

}  // namespace

const char* CommandName(Command command) {
  switch (command) {
    case Command::Update:
      return "update";
    case Command::Info:
      return "info";
    case Command::Ports:
      return "ports";
    case Command::Check:
      return "check";
    case Command::Sensors:
      return "sensors";
    case Command::Clock:
      return "clock";
    case Command::Reset:
      return "reset";
    case Command::SelfUpdate:
      return "self-update";
    case Command::History:
      return "history";
    case Command::Report:
      return "report";
    case Command::None:
      break;
  }
  return "";
}

ParseOutcome ParseArguments(const std::vector<std::string>& args) {
  ParseOutcome outcome;
  CliOptions options;
  std::string server_text;
  bool said_yes = false, said_no = false;
  size_t i = 0;
  if (i < args.size() && (args[i] == "--help" || args[i] == "-h" || args[i] == "help")) {
    options.help = true;
    if (i + 1 < args.size()) {
      if (auto command = CommandFromName(args[i + 1])) options.command = *command;
    }
    outcome.options = options;
    return outcome;
  }
  if (i >= args.size()) {
    outcome.error = "no command given";
    return outcome;
  }
  const auto command = CommandFromName(args[i]);
  if (!command) {
    outcome.error = "unknown command \"" + args[i] + "\"";
    return outcome;
  }
  options.command = *command;
  options.command_name = args[i];
  ++i;

  for (; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (TakesValue(name) && !value) {
      if (i + 1 >= args.size()) {
        outcome.error = name + " needs a value";
        return outcome;
      }
      value = args[++i];
    } else if (!TakesValue(name) && value) {
      outcome.error = name + " takes no value";
      return outcome;
    }

    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--port") {
      int number = 0;
      if (!ParseNumber(*value, 1, 254, number)) {
        outcome.error = "--port needs a port number from 1 to 254, not \"" + *value + "\"";
        return outcome;
      }
      options.port = number;
    } else if (name == "--server") {
      if (value->empty()) {
        outcome.error = "--server needs HOST or HOST:PORT";
        return outcome;
      }
      server_text = *value;
    } else if (name == "--config") {
      if (value->empty()) {
        outcome.error = "--config needs a file path";
        return outcome;
      }
      options.config_path = *value;
    } else if (name == "--timeout") {
      if (!ParseNumber(*value, 1, kMaxTimeoutSeconds, options.timeout_seconds)) {
        outcome.error =
            "--timeout needs a number of seconds from 1 to 3600, not \"" + *value + "\"";
        return outcome;
      }
    } else if (name == "--yes" || name == "-y") {
      said_yes = true;
    } else if (name == "--no" || name == "-n") {
      said_no = true;
    } else if (name == "--json") {
      options.json = true;
    } else if (name == "--trace") {
      options.trace = true;
    } else if ((name == "--output" || name == "-o") && options.command == Command::Sensors) {
      if (value->empty()) {
        outcome.error = name + " needs a file path";
        return outcome;
      }
      options.output_path = *value;
    } else if (name == "--to" && options.command == Command::SelfUpdate) {
      if (value->empty()) {
        outcome.error = "--to needs a folder";
        return outcome;
      }
      options.target_folder = *value;
    } else if (name == "--options-only" && options.command == Command::Update) {
      options.options_only = true;
    } else if (name == "--serial" && options.command == Command::History) {
      if (value->empty()) {
        outcome.error = "--serial needs a serial number";
        return outcome;
      }
      options.serial_filter = *value;
    } else if (name == "--limit" && options.command == Command::History) {
      if (!ParseNumber(*value, 1, 1000000, options.limit)) {
        outcome.error = "--limit needs a number from 1 to 1000000, not \"" + *value + "\"";
        return outcome;
      }
    } else if (name == "--pending" && options.command == Command::Report) {
      options.pending = true;
    } else {
      outcome.error = "unknown option \"" + args[i] + "\" for " + options.command_name;
      return outcome;
    }
  }
  if (said_yes && said_no) {
    outcome.error = "--yes and --no cannot be given together";
    return outcome;
  }
  if (options.command == Command::Report && !options.pending && !options.help) {
    outcome.error = "report needs --pending (it sends the status reports kept for the server)";
    return outcome;
  }
  if (said_yes) options.answers = AnswerPolicy::Yes;
  if (said_no) options.answers = AnswerPolicy::No;

  const auto server = ServerAddress::FromSetting(server_text);
  if (!server) {
    outcome.error =
        server_text.empty()
            ? std::string("the server named by $") + ServerAddress::kEnvironmentVariable +
                  " is not HOST or HOST:PORT"
            : "--server needs HOST or HOST:PORT (port 1 to 65535), not \"" + server_text + "\"";
    return outcome;
  }
  options.server = *server;
  outcome.options = options;
  return outcome;
}

std::string UsageText(Command command) {
  std::string text;
  switch (command) {
    case Command::None:
      return std::string(
                 "usage: velmar-cli COMMAND [options]\n"
                 "\n"
                 "Commands:\n"
                 "  update   bring the tool up to date from the update server (--options-only: its "
                 "options)\n"
                 "  info     find the tool and show its identity, options and databases\n"
                 "  check    show what the update server offers for the tool, without loading it\n"
                 "  ports    list the serial ports and which look like the tool's adapter\n"
                 "  sensors  print the sensor records stored in the tool (-o FILE: write them "
                 "there)\n"
                 "  clock    set the tool's clock to the computer's time (UTC)\n"
                 "  reset    factory reset of the tool, with the code the update server gives\n"
                 "  self-update  download a newer Velmar from the update server, if there is one\n"
                 "  history  list the update history kept on this computer, newest first\n"
                 "  report   --pending: send the status reports the server has not received yet\n"
                 "\n"
                 "velmar-cli COMMAND --help shows a command's options.\n\n") +
             kCommonOptions + "\n" + kExitCodes;
    case Command::Update:
      text =
          "usage: velmar-cli update [--options-only] [options]\n"
          "Finds the tool, asks the update server what is new, offers the update and runs it as\n"
          "the window does: main software, databases, options, other packages, then the report.\n"
          "  --options-only      load only the tool's active options\n";
      break;
    case Command::Info:
      text =
          "usage: velmar-cli info [options]\n"
          "Finds the tool and prints its serial number, versions, options and databases.\n";
      break;
    case Command::Check:
      text =
          "usage: velmar-cli check [options]\n"
          "Finds the tool and asks the update server what is available for it; loads nothing.\n";
      break;
    case Command::Sensors:
      text =
          "usage: velmar-cli sensors [-o FILE] [options]\n"
          "Finds the tool and prints the sensor records stored in it, or writes them to FILE.\n"
          "  -o, --output FILE   write the report to FILE instead of printing it\n";
      break;
    case Command::Clock:
      text =
          "usage: velmar-cli clock [options]\n"
          "Finds the tool and sets its clock to the computer's time (UTC).\n";
      break;
    case Command::Reset:
      text =
          "usage: velmar-cli reset [--yes] [options]\n"
          "Finds the tool, asks the update server for its reset code and, once confirmed,\n"
          "resets the tool to its factory state.\n";
      break;
    case Command::SelfUpdate:
      // No tool is involved: only the options that matter here.
      return "usage: velmar-cli self-update [--to DIR] [--yes | --no] [options]\n"
             "Asks the update server whether a newer Velmar exists and, once you agree,\n"
             "downloads it and writes the file the server packs (the new program or its\n"
             "installer) into the current folder, or into DIR. The file is not run and this\n"
             "program is not replaced: run or install the new file yourself. A file of the same\n"
             "name there is replaced whole, only once the download is complete.\n"
             "  --to DIR            write the new version into DIR (default: the current folder)\n"
             "Options:\n"
             "  --server HOST[:PORT] update server (default: $VELMAR_SERVER, else the built-in "
             "one)\n"
             "  --yes | --no        answer the question Yes or No instead of asking\n"
             "  --json              print one JSON document with the result; the log goes to "
             "stderr;\n"
             "                      without --yes the download is declined\n"
             "  --trace             print every HTTP request on stderr\n"
             "  --help              this text\n"
             "\n"
             "Exit codes: 0 up to date, or the new version written; 1 the server failed, the\n"
             "download was declined or the file could not be written; 2 wrong usage.\n";
    case Command::History:
      return "usage: velmar-cli history [--serial S] [--limit N] [--json]\n"
             "Lists the updates, factory resets, clock settings and self-updates recorded on\n"
             "this computer, newest first, with the packages loaded and their SHA-256.\n"
             "  --serial S          only the tool with serial number S\n"
             "  --limit N           at most N records\n"
             "  --json              one JSON document\n";
    case Command::Report:
      return "usage: velmar-cli report --pending [--server HOST[:PORT]] [--json] [--trace]\n"
             "Sends the status reports that could not reach the update server, oldest first.\n"
             "Exit codes: 0 every kept report was accepted (or there was none), 1 some remain.\n";
    case Command::Ports:
      text =
          "usage: velmar-cli ports [--json]\n"
          "Lists the serial ports: number, device, name, and whether it is the tool's adapter.\n";
      break;
  }
  return text + kCommonOptions + "\n" + kExitCodes;
}

}  // namespace velmar::cli
