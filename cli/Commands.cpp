#include "Commands.h"


#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <istream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "CliOptions.h"
#include "ConsoleView.h"
#include "Session.h"
#include "app/ControlIds.h"
#include "app/Strings.h"
#include "device/PortList.h"
#include "device/PortScanner.h"
#include "platform/LocalFiles.h"
#include "platform/PortPaths.h"
#include "update/CatalogueComparison.h"

namespace velmar::cli {

namespace {

using nlohmann::json;

// Longest a whole update may run once it was accepted; the sequencer ends far sooner.
constexpr uint64_t kUpdateLimitMs = 30 * 60 * 1000;
// Longest the eight requests of a version check may take.
constexpr uint64_t kCheckLimitMs = 120 * 1000;
// How long the posted options-only request may take to start the sequencer.
constexpr uint64_t kOptionsStartMs = 3000;

// One command's outcome: an exit code, the result document, and an error for the user.
struct Outcome {
  int exit = kExitOk;
  json result = json::object();
  std::string error;
};

std::string HexCode(uint16_t code) {
  char text[8];
  snprintf(text, sizeof text, "0x%04X", code);
  return text;
}

bool IsAdapterName(const std::string& name) {
  for (const char* adapter : PortScanner::kAdapterNames)
    if (name.find(adapter) != std::string::npos) return true;
  return false;
}

// ---------------------------------------------------------------- results as JSON

json IdentityJson(MainWindow& window) {
  const DeviceIdentity& identity = window.Identity();
  ToolDevice& device = window.Device();
  json options = json::array();
  for (const ToolOption& option : device.Options())
    options.push_back(
        {{"code", option.code}, {"active", option.active != 0}, {"version", option.version}});
  return {{"port", window.Port().Port()},
          {"protocol", static_cast<int>(device.Protocol())},
          {"serialNumber", identity.serial_number},
          {"bootVersion", identity.boot_version},
          {"softwareVersion", identity.software_version},
          {"hardwareVersion", identity.hardware_version},
          {"softwareLabel", window.ShownSoftwareVersion()},
          {"options", options},
          {"databases", device.Databases()}};
}

json CatalogueJson(MainWindow& window) {
  VersionCheckWorker& check = window.VersionCheck();
  const VersionInfo& version = check.Version();
  const CatalogueComparison comparison = CompareCatalogue(
      ToolReport::From(window.Device()), check.Databases(), check.Options(), version);

  json options = json::array();
  for (int i = 0; i < check.Options().Count(); ++i) {
    OptionRecord record;
    if (check.Options().OptionAt(i, record) != 0) continue;
    options.push_back({{"code", record.code},
                       {"name", std::string(record.name)},
                       {"sigle", std::string(record.sigle)},
                       {"version", std::string(record.ver)},
                       {"selected", comparison.selection.Contains(record.code)}});
  }
  json databases = json::array();
  for (int i = 0; i < comparison.marked_databases.Count(); ++i) {
    const DatabasePair pair = comparison.marked_databases.PairAt(i);
    databases.push_back(
        {{"dbs", std::string(pair.dbs)}, {"rel", std::string(pair.rel)}, {"load", pair.load != 0}});
  }
  json others = json::array();
  for (int i = 0; i < check.Others().Count(); ++i) {
    std::string name;
    if (check.Others().NameAt(i, name) == 0) others.push_back(name);
  }

  // What an update would load, in the sequencer's order.
  json loads = json::array();
  if (version.NewVersionAvailable()) loads.push_back("main software " + version.NewVersion());
  DatabaseList to_load = comparison.marked_databases;
  to_load.Rewind();
  for (int i = 0; i < to_load.FilesToLoad(); ++i) {
    std::string name;
    to_load.NextFileToLoad(name);
    if (name.empty()) break;
    loads.push_back("database " + name);
  }
  for (uint16_t code : comparison.selection.Codes()) {
    OptionRecord record;
    const std::string label = check.Options().FindByCode(code, record) == 0 && record.sigle[0]
                                  ? std::string(record.sigle)
                                  : HexCode(code);
    loads.push_back("option " + label);
  }
  for (const auto& name : others) loads.push_back("other " + name.get<std::string>());

  return {{"availableVersion", window.AvailableVersionText()},
          {"newVersionAvailable", version.NewVersionAvailable()},
          {"serverMessage", version.ServerMsg()},
          {"databasesUpToDate", comparison.databases_up_to_date},
          {"optionsUpToDate", comparison.options_up_to_date},
          {"sdCardNeeded", comparison.sd_card_needed},
          {"zone", check.Databases().Zone()},
          {"country", check.Databases().Country()},
          {"options", options},
          {"databases", databases},
          {"others", others},
          {"updateWouldLoad", loads}};
}

// ---------------------------------------------------------------- results as text

void PrintIdentity(std::ostream& out, const json& identity) {
  out << "Port:             COM" << identity["port"].get<int>() << "\n"
      << "Register map:     " << identity["protocol"].get<int>() << "\n"
      << "Serial number:    " << identity["serialNumber"].get<std::string>() << "\n"
      << "Boot version:     " << identity["bootVersion"].get<std::string>() << "\n"
      << "Software version: " << identity["softwareVersion"].get<std::string>() << "\n"
      << "Hardware version: " << identity["hardwareVersion"].get<std::string>() << "\n"
      << "Software label:   " << identity["softwareLabel"].get<std::string>() << "\n";
  out << "Options:";
  if (identity["options"].empty()) out << "          none";
  out << "\n";
  for (const json& option : identity["options"]) {
    out << "  " << HexCode(option["code"].get<uint16_t>()) << "  "
        << (option["active"].get<bool>() ? "active  " : "inactive") << "  version "
        << (option["version"].get<std::string>().empty() ? "-"
                                                         : option["version"].get<std::string>())
        << "\n";
  }
  out << "Databases:";
  if (identity["databases"].empty()) out << "        none";
  out << "\n";
  for (const json& name : identity["databases"]) out << "  " << name.get<std::string>() << "\n";
}

void PrintCatalogue(std::ostream& out, const json& catalogue) {
  auto yes_no = [](const json& value) { return value.get<bool>() ? "yes" : "no"; };
  out << "Available version: " << catalogue["availableVersion"].get<std::string>()
      << (catalogue["newVersionAvailable"].get<bool>() ? "  (newer)" : "  (not newer)") << "\n";
  if (!catalogue["serverMessage"].get<std::string>().empty())
    out << "Server message:    " << catalogue["serverMessage"].get<std::string>() << "\n";
  out << "Databases up to date: " << yes_no(catalogue["databasesUpToDate"]) << "\n"
      << "Options up to date:   " << yes_no(catalogue["optionsUpToDate"]) << "\n"
      << "SD card needed:       " << yes_no(catalogue["sdCardNeeded"]) << "\n";
  out << "Offered options:\n";
  for (const json& option : catalogue["options"]) {
    out << "  " << HexCode(option["code"].get<uint16_t>()) << "  "
        << option["sigle"].get<std::string>() << "  version "
        << option["version"].get<std::string>() << "  " << option["name"].get<std::string>()
        << (option["selected"].get<bool>() ? "  (to load)" : "") << "\n";
  }
  out << "Offered databases:\n";
  for (const json& pair : catalogue["databases"]) {
    out << "  " << pair["dbs"].get<std::string>() << "  " << pair["rel"].get<std::string>()
        << (pair["load"].get<bool>() ? "  (to load)" : "  (installed)") << "\n";
  }
  out << "Other packages:\n";
  for (const json& name : catalogue["others"]) out << "  " << name.get<std::string>() << "\n";
  out << "An update would load:\n";
  if (catalogue["updateWouldLoad"].empty()) out << "  nothing new\n";
  for (const json& item : catalogue["updateWouldLoad"])
    out << "  " << item.get<std::string>() << "\n";
}

// ---------------------------------------------------------------- commands

Outcome RunPorts(const CliOptions& options, std::ostream& out) {
  Outcome outcome;
  PortList ports;
  ports.Enumerate();
  json list = json::array();
  for (const PortEntry& entry : ports.Entries()) {
    // The device behind a registered link, so that the user sees what will be opened.
    std::string device = ResolvePortDevice(static_cast<uint8_t>(entry.number)).value_or("");
    std::error_code error;
    if (const auto target = std::filesystem::canonical(device, error); !device.empty() && !error)
      device = target.string();
    list.push_back({{"number", entry.number},
                    {"device", device},
                    {"name", entry.friendly_name},
                    {"adapter", IsAdapterName(entry.friendly_name)}});
  }
  outcome.result["ports"] = list;
  if (options.json) return outcome;
  if (list.empty()) out << "No serial ports found.\n";
  for (const json& port : list) {
    out << "COM" << port["number"].get<int>() << "  " << port["device"].get<std::string>() << "  "
        << port["name"].get<std::string>()
        << (port["adapter"].get<bool>() ? "  <- tool adapter" : "") << "\n";
  }
  return outcome;
}

Outcome RunInfo(const CliOptions& options, Session& session, std::ostream& out) {
  Outcome outcome;
  outcome.result["tool"] = IdentityJson(session.Window());
  if (!options.json) PrintIdentity(out, outcome.result["tool"]);
  return outcome;
}

// Runs until the version check answered or failed.
bool WaitForCheck(Session& session, Outcome& outcome) {
  MainWindow& window = session.Window();
  auto failed = [&] { return !window.CheckAnswered() && session.LogHas(kStrServerUnreachable); };
  // A cancelled check never answers: without a login there is nothing to wait for.
  session.RunUntil([&] { return window.CheckAnswered() || failed() || session.ProxyLoginMissing(); },
                   kCheckLimitMs);
  if (window.CheckAnswered()) return true;
  outcome.exit = kExitFailed;
  if (session.ProxyLoginMissing())
    outcome.error = std::string("the proxy asks for a login; give it in ") + ConsoleView::kProxyLoginVariable +
                    " as USER:PASSWORD";
  else
    outcome.error =
        failed() ? LoadString(kStrServerUnreachable) +
                       " Check the network and the server address (--server or $VELMAR_SERVER)."
                 : "the update server did not answer in time";
  return false;
}

Outcome RunCheck(const CliOptions& options, Session& session, std::ostream& out) {
  Outcome outcome;
  outcome.result["tool"] = IdentityJson(session.Window());
  if (!WaitForCheck(session, outcome)) return outcome;
  outcome.result["catalogue"] = CatalogueJson(session.Window());
  if (!options.json) {
    PrintIdentity(out, outcome.result["tool"]);
    PrintCatalogue(out, outcome.result["catalogue"]);
  }
  return outcome;
}

// The tool's software version as it reports it now. The window's identity keeps the version
// of the information record read at detection, which a second-map tool does not re-send.
std::string ReadSoftwareVersionNow(MainWindow& window) {
  ToolDevice& device = window.Device();
  ToolDeviceLock conversation(device);
  std::string version;
  if (device.Protocol() == DeviceProtocol::Protocol2 && device.ReadInfoRecord() != 0) {
    return window.Identity().software_version;
  }
  if (device.ReadSoftwareVersion(version) != 0 || version.empty())
    return window.Identity().software_version;
  return version;
}

bool IsOffer(const std::string& question) {
  for (int id : {kStrAskUpdate, kStrAskUpdateSdCard, kStrAskOverwrite, kStrAskOverwriteSdCard})
    if (question == LoadString(id)) return true;
  return false;
}

Outcome RunUpdate(const CliOptions& options, Session& session, ConsoleView& view,
                  std::ostream& out) {
  Outcome outcome;
  MainWindow& window = session.Window();
  outcome.result["tool"] = IdentityJson(window);
  if (!WaitForCheck(session, outcome)) return outcome;

  auto ended = [&] {
    return view.BoxShown(LoadString(kStrUpToDate)) || view.BoxShown(LoadString(kStrUpdateFailed)) ||
           view.BoxShown(LoadString(kStrNeedSdCard)) ||
           view.BoxShown(LoadString(kStrCompatibilityError));
  };
  if (options.options_only) {
    if (window.SelectedOptions().Count() == 0) {
      outcome.exit = kExitFailed;
      outcome.error = "no option to load: the tool has no active option that the server offers";
      return outcome;
    }
    window.RequestOptionsOnlyUpdate();
    if (!session.RunUntil([&] { return !window.Sequencer().IsIdle() || ended(); },
                          kOptionsStartMs)) {
      outcome.exit = kExitFailed;
      outcome.error =
          "the options update did not start: the tool did not answer; reconnect it and try again";
      return outcome;
    }
  } else {
    const bool declined = !view.Questions().empty() && IsOffer(view.Questions().back().text) &&
                          !view.Questions().back().answer;
    if (declined || window.Sequencer().IsIdle()) {
      outcome.exit = kExitFailed;
      outcome.error = "update declined; nothing was loaded (--yes accepts the offer)";
      outcome.result["declined"] = true;
      return outcome;
    }
  }

  session.RunUntil(ended, kUpdateLimitMs);
  view.FinishOutput();
  outcome.result["softwareVersion"] = ReadSoftwareVersionNow(window);
  outcome.result["status"] = window.Sequencer().StatusText();
  if (view.BoxShown(LoadString(kStrUpToDate))) {
    outcome.result["message"] = LoadString(kStrUpToDate);
  } else if (view.BoxShown(LoadString(kStrNeedSdCard))) {
    outcome.exit = kExitNeedSdCard;
    outcome.error = LoadString(kStrNeedSdCard);
  } else if (view.BoxShown(LoadString(kStrUpdateFailed))) {
    outcome.exit = kExitFailed;
    outcome.error = LoadString(kStrUpdateFailed);
  } else if (view.BoxShown(LoadString(kStrCompatibilityError))) {
    outcome.exit = kExitFailed;
    outcome.error = LoadString(kStrCompatibilityError);
  } else {
    outcome.exit = kExitFailed;
    outcome.error = "the update did not end in time";
  }
  if (!options.json && outcome.exit == kExitOk)
    out << "Software version: " << outcome.result["softwareVersion"].get<std::string>() << "\n";
  return outcome;
}

Outcome RunSensors(const CliOptions& options, Session& session, ConsoleView& view,
                   std::ostream& out) {
  Outcome outcome;
  const size_t shown = view.SensorReports().size();
  session.Window().OnPrintSensorInfo();
  if (view.SensorReports().size() == shown) {
    outcome.exit = kExitFailed;
    outcome.error = LoadString(kStrNoSensorInfo);
    return outcome;
  }
  const std::string path = view.SensorReports().back();
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  if (!file) {
    outcome.exit = kExitFailed;
    outcome.error = "cannot read the sensor report " + path;
    return outcome;
  }
  if (!options.output_path.empty()) {
    std::ofstream copy(options.output_path, std::ios::binary | std::ios::trunc);
    copy << text.str();
    copy.flush();
    if (!copy) {
      outcome.exit = kExitFailed;
      outcome.error =
          "cannot write " + options.output_path + ": check the folder exists and is writable";
      return outcome;
    }
    outcome.result["file"] = options.output_path;
    if (!options.json) out << "Sensor report written to " << options.output_path << "\n";
  } else if (options.json) {
    outcome.result["report"] = text.str();
  } else {
    out << text.str();
  }
  return outcome;
}

Outcome RunClock(const CliOptions& options, Session& session, std::ostream& out) {
  Outcome outcome;
  ToolDevice& device = session.Window().Device();
  ToolDeviceLock conversation(device);
  if (device.Protocol() != DeviceProtocol::Protocol2) {
    outcome.exit = kExitFailed;
    outcome.error = "this tool (first register map) has no clock to set";
    return outcome;
  }
  if (device.SetClock() != 0) {
    outcome.exit = kExitFailed;
    outcome.error = "the tool did not take the time; reconnect it and try again";
    return outcome;
  }
  // UTC from the calendar of <chrono>: the same on every system, no C library variant.
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{floor<seconds>(now - day)};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  outcome.result["clock"] = text;
  if (!options.json) out << "Clock set to " << text << "\n";
  return outcome;
}

Outcome RunReset(Session& session, ConsoleView& view, std::ostream& out, bool json_output) {
  Outcome outcome;
  if (!WaitForCheck(session, outcome)) return outcome;  // the reset code comes with the check
  const size_t asked = view.Questions().size();
  session.Post(message::kFactoryReset, 0, 0);
  session.RunUntil([&] { return view.Questions().size() > asked; }, kOptionsStartMs);
  if (view.Questions().size() == asked) {
    outcome.exit = kExitFailed;
    outcome.error = "the tool went away before the reset; reconnect it and try again";
    return outcome;
  }
  if (!view.Questions().back().answer) {
    outcome.exit = kExitFailed;
    outcome.error = "factory reset declined; nothing was changed (--yes confirms it)";
    outcome.result["declined"] = true;
    return outcome;
  }
  outcome.result["resetCode"] = session.Window().VersionCheck().Version().Rs();
  if (!json_output) out << "Factory reset sent to the tool.\n";
  return outcome;
}

// The folder the new version goes into: --to, else the current folder; absolute, so that the
// report names the file wherever the user is.
Outcome TargetFolder(const CliOptions& options, std::string& folder) {
  Outcome outcome;
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path path = options.target_folder.empty() ? fs::current_path(error)
                                                : fs::absolute(options.target_folder, error);
  if (error || path.empty()) {
    outcome.exit = kExitFailed;
    outcome.error = "cannot tell the current folder; name one with --to DIR";
    return outcome;
  }
  if (!fs::is_directory(path, error)) {
    outcome.exit = kExitUsage;
    outcome.error = "--to: " + path.string() + " is not a folder";
    return outcome;
  }
  if (!CanCreateFilesIn(path.string())) {
    outcome.exit = kExitFailed;
    outcome.error =
        "cannot write into " + path.string() + ": choose a folder you may write to with --to DIR";
    return outcome;
  }
  folder = path.lexically_normal().string();
  return outcome;
}

Outcome RunSelfUpdate(const CliOptions& options, ConsoleView& view, const CliStreams& streams) {
  std::string folder;
  Outcome outcome = TargetFolder(options, folder);
  if (outcome.exit != kExitOk) return outcome;
  view.AcceptHandOff(true);  // the written file is named, never run

  Session session(options, view, streams.err);
  if ((outcome.exit = session.StartSelfUpdate(folder, outcome.error)) != kExitOk) return outcome;
  MainWindow& window = session.Window();
  const ProgramUpdateRecord& record = session.ProgramUpdate();
  session.RunUntil([&] { return record.thread_ended || window.Ended(); }, kUpdateLimitMs);
  view.FinishOutput();

  const VersionInfo& version = window.ProgramUpdate().Version();
  const bool declined = record.offered && !view.Questions().empty() &&
                        view.Questions().back().text == LoadString(kStrAskProgramUpgrade) &&
                        !view.Questions().back().answer;
  outcome.result["folder"] = folder;
  if (record.offered || record.ended_value == ProgramUpdateWorker::kNoNewerVersion) {
    outcome.result["newVersionAvailable"] = record.offered;
    outcome.result["availableVersion"] = version.NewVersion();
    if (!version.ServerMsg().empty()) outcome.result["serverMessage"] = version.ServerMsg();
  }
  std::ostream& out = streams.out;
  if (record.ended_value == ProgramUpdateWorker::kProgramWritten && !view.HandOffs().empty()) {
    const std::string path = view.HandOffs().back();
    outcome.result["file"] = path;
    if (!options.json)
      out << "Velmar " << version.NewVersion() << " written to " << path
          << "\nThis program was not changed: run or install the new file to upgrade.\n";
  } else if (record.ended_value == ProgramUpdateWorker::kNoNewerVersion) {
    if (!options.json) out << "Velmar is up to date: the server offers no newer version.\n";
  } else if (record.ended_value == ProgramUpdateWorker::kWriteFailed) {
    outcome.exit = kExitFailed;
    outcome.error = "the download is not a usable archive, or its file could not be written into " +
                    folder + "; nothing was changed there";
  } else if (record.proxy_login) {
    outcome.exit = kExitFailed;
    outcome.error = std::string("the proxy asks for a login; give it in ") + ConsoleView::kProxyLoginVariable +
                    " as USER:PASSWORD";
  } else if (record.request_failed) {
    outcome.exit = kExitFailed;
    outcome.error = LoadString(kStrServerUnreachable) +
                    " Check the network and the server address (--server or $VELMAR_SERVER).";
  } else if (declined) {
    outcome.exit = kExitFailed;
    outcome.error = "download declined; nothing was written (--yes accepts it)";
    outcome.result["declined"] = true;
  } else {
    outcome.exit = kExitFailed;
    outcome.error = "the update server did not finish in time";
  }
  return outcome;
}

Outcome RunDeviceCommand(const CliOptions& options, ConsoleView& view, const CliStreams& streams) {
  Outcome outcome;
  if (options.command == Command::Update && options.options_only) {
    // The offer is the full update; an options-only run declines it and asks for its own.
    for (int id : {kStrAskUpdate, kStrAskUpdateSdCard, kStrAskOverwrite, kStrAskOverwriteSdCard})
      view.ForceAnswer(LoadString(id), false);
  }
  if (options.command != Command::Update) {
    // Only an update loads anything into the tool.
    for (int id : {kStrAskUpdate, kStrAskUpdateSdCard, kStrAskOverwrite, kStrAskOverwriteSdCard})
      view.ForceAnswer(LoadString(id), false);
  }
  if (options.command != Command::Update)
    view.ForceAnswer(LoadString(kStrAskShowSensorInfo), false);

  Session session(options, view, streams.err);
  if ((outcome.exit = session.Start(outcome.error)) != kExitOk) return outcome;
  if ((outcome.exit = session.WaitForTool(outcome.error)) != kExitOk) return outcome;
  std::ostream& out = streams.out;
  switch (options.command) {
    case Command::Info:
      return RunInfo(options, session, out);
    case Command::Check:
      return RunCheck(options, session, out);
    case Command::Update:
      return RunUpdate(options, session, view, out);
    case Command::Sensors:
      return RunSensors(options, session, view, out);
    case Command::Clock:
      return RunClock(options, session, out);
    case Command::Reset:
      return RunReset(session, view, out, options.json);
    default:
      break;
  }
  return outcome;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliStreams& streams) {
  const bool wants_json = [&] {
    for (const auto& arg : args)
      if (arg == "--json") return true;
    return false;
  }();
  const ParseOutcome parsed = ParseArguments(args);
  if (!parsed.options) {
    if (wants_json) {
      streams.out << json{{"ok", false}, {"exit", kExitUsage}, {"error", parsed.error}}.dump(2)
                  << "\n";
    } else {
      streams.err << "velmar-cli: " << parsed.error << "\n\n" << UsageText(Command::None);
    }
    return kExitUsage;
  }
  CliOptions options = *parsed.options;
  if (options.help) {
    streams.out << UsageText(options.command);
    return kExitOk;
  }

  // With --json stdout carries the document alone; questions are No unless --yes.
  AnswerPolicy policy = options.answers;
  if (policy == AnswerPolicy::Ask && (options.json || !streams.in_is_terminal))
    policy = AnswerPolicy::No;
  std::ostream& log = options.json ? streams.err : streams.out;
  ConsoleView view(log, streams.in, policy, !options.json && streams.out_is_terminal);

  Outcome outcome = options.command == Command::Ports ? RunPorts(options, streams.out)
                    : options.command == Command::SelfUpdate
                        ? RunSelfUpdate(options, view, streams)
                        : RunDeviceCommand(options, view, streams);
  view.FinishOutput();
  if (options.json) {
    json document = {{"command", CommandName(options.command)},
                     {"ok", outcome.exit == kExitOk},
                     {"exit", outcome.exit}};
    for (auto& [key, value] : outcome.result.items()) document[key] = value;
    if (!outcome.error.empty()) document["error"] = outcome.error;
    streams.out << document.dump(2) << "\n";
  } else if (!outcome.error.empty()) {
    streams.err << "velmar-cli: " << outcome.error << "\n";
  }
  streams.out.flush();
  return outcome.exit;
}

}  // namespace velmar::cli
