#include "support/UpdateTestSupport.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#ifndef VELMAR_SERVERSIM  // built without the local update server
#define VELMAR_SERVERSIM ""
#define VELMAR_DEMO_CATALOG ""
#define VELMAR_TEST_CATALOG ""
#endif

namespace velmar::testing {

using namespace std::chrono_literals;

void YieldingClock::SleepMs(uint32_t ms) {
  ManualClock::SleepMs(ms);
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WriteFileText(const std::string& path, const std::string& text) {
  return WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

bool ServerProcess::Start(const std::string& catalog, std::vector<std::string> switches) {
  if (*VELMAR_SERVERSIM == '\0' || directory_.Path().empty()) return false;
  std::vector<std::string> args = {VELMAR_SERVERSIM, "--catalog", catalog, "--listen",
                                   "127.0.0.1:0", "--log", directory_.File("log.jsonl")};
  args.insert(args.end(), switches.begin(), switches.end());
  if (!process_.Start(args)) return false;
  for (std::string line; process_.ReadLine(line, 10s);) {
    const size_t at = line.find("listening on ");
    if (at != std::string::npos) {
      port_ = std::stoi(line.substr(line.rfind(':') + 1));
      return port_ > 0;
    }
  }
  return false;
}

ServerAddress ServerProcess::Address() const {
  ServerAddress address;
  address.host = "127.0.0.1";
  address.port = static_cast<uint16_t>(port_);
  return address;
}

std::vector<nlohmann::json> ServerProcess::Log() const {
  std::vector<nlohmann::json> lines;
  std::ifstream in(directory_.File("log.jsonl"));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
  }
  return lines;
}

std::vector<std::string> ServerProcess::Steps() const {
  std::vector<std::string> steps;
  for (const nlohmann::json& line : Log())
    steps.push_back(line["action"].get<std::string>() + "/" + line["step"].get<std::string>());
  return steps;
}

std::vector<nlohmann::json> ServerProcess::StatusReports(int status) const {
  std::vector<nlohmann::json> fields;
  for (const nlohmann::json& line : Log())
    if (line.value("action", "") == "setstatus" && line.value("step", "") == "action" &&
        (status == 0 || line.value("status", 0) == status))
      fields.push_back(line["fields"]);
  return fields;
}

std::vector<nlohmann::json> ServerProcess::Downloads() const {
  std::vector<nlohmann::json> lines = Log();
  std::erase_if(lines, [](const nlohmann::json& line) { return !line.contains("package"); });
  return lines;
}

bool ToolProcess::Start(const std::string& profile, std::vector<std::string> switches, int port) {
  std::vector<std::string> args = {VELMAR_TOOLSIM_EXE, "--profile", ProfilePath(profile),
                                   "--port", std::to_string(port), "--state",
                                   directory_.File("state.json"), "--restart-delay-ms", "300",
                                   "--progress-interval-ms", "100"};
  args.insert(args.end(), switches.begin(), switches.end());
  std::string line;
  return process_.Start(args) && process_.ReadLine(line, 10s) &&
         line.rfind("COM" + std::to_string(port) + " ", 0) == 0;
}

nlohmann::json ToolProcess::StopAndReadState() {
  process_.Stop(SIGTERM, 10s);
  std::ifstream file(directory_.File("state.json"));
  return nlohmann::json::parse(file, nullptr, false);
}

std::string ProfilePath(const std::string& profile) {
  return std::string(VELMAR_PROFILES) + "/" + profile;
}

std::ostream& operator<<(std::ostream& out, const ProgramResult& result) {
  return out << "exit " << result.exit << "\n" << result.out << result.err;
}

std::vector<std::string> InFolder(const std::string& folder,
                                  const std::vector<std::string>& environment,
                                  const std::vector<std::string>& argv) {
  std::vector<std::string> command = {"/bin/sh", "-c", "cd \"$0\" && exec env \"$@\"", folder};
  command.insert(command.end(), environment.begin(), environment.end());
  command.insert(command.end(), argv.begin(), argv.end());
  return command;
}

ProgramResult Finish(ChildProcess& program, std::chrono::milliseconds deadline,
                     std::chrono::milliseconds exit_wait) {
  ProgramResult result;
  program.ReadAll(result.out, deadline);
  result.exit = program.WaitExit(exit_wait);
  result.err = program.Stderr();
  return result;
}

ProgramResult RunProgram(const std::vector<std::string>& command,
                         std::chrono::milliseconds deadline, std::chrono::milliseconds exit_wait) {
  ChildProcess program;
  if (!program.Start(command)) return {};
  return Finish(program, deadline, exit_wait);
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds deadline,
                std::chrono::milliseconds interval) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(interval);
  }
  return true;
}

void ExpectFields(const nlohmann::json& object, const nlohmann::json& expected) {
  for (const auto& [key, value] : expected.items())
    EXPECT_EQ(object.is_object() ? object.value(key, nlohmann::json()) : nlohmann::json(), value)
        << key;
}

CurlHttpTransport::Options DirectConnection() {
  CurlHttpTransport::Options options;
  options.proxy = "";
  return options;
}

std::string DemoCatalog() { return VELMAR_DEMO_CATALOG; }
std::string TestCatalog() { return VELMAR_TEST_CATALOG; }

bool HaveServer() {
  return *VELMAR_SERVERSIM != '\0' && !DemoCatalog().empty() && !TestCatalog().empty();
}

}  // namespace velmar::testing
