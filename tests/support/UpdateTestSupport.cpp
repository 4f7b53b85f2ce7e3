#include "support/UpdateTestSupport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace velmar::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void YieldingClock::SleepMs(uint32_t ms) {
  ManualClock::SleepMs(ms);
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "velmar-update-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

pid_t SpawnLogged(const std::vector<std::string>& args, int out_fd, const std::string& log) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, out_fd < 0 ? 2 : out_fd, 1);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

void StopProcess(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (waitpid(pid, nullptr, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  pid = -1;
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
#ifdef VELMAR_SERVERSIM
  if (directory_.Path().empty()) return false;
  std::vector<std::string> args = {VELMAR_SERVERSIM, "--catalog", catalog, "--listen",
                                   "127.0.0.1:0", "--log", directory_.File("log.jsonl")};
  args.insert(args.end(), switches.begin(), switches.end());
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  pid_ = SpawnLogged(args, out[1], directory_.File("stderr.txt"));
  close(out[1]);
  const bool ready = pid_ > 0 && ReadAddress(out[0]);
  close(out[0]);
  return ready;
#else
  (void)catalog;
  (void)switches;
  return false;
#endif
}

bool ServerProcess::ReadAddress(int fd) {
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    seen.append(buffer, static_cast<size_t>(n));
    const size_t at = seen.find("listening on ");
    const size_t end = seen.find('\n', at == std::string::npos ? 0 : at);
    if (at != std::string::npos && end != std::string::npos) {
      const std::string address = seen.substr(at + 13, end - at - 13);
      port_ = std::stoi(address.substr(address.rfind(':') + 1));
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

CurlHttpTransport::Options DirectConnection() {
  CurlHttpTransport::Options options;
  options.proxy = "";
  return options;
}

std::string DemoCatalog() {
#ifdef VELMAR_DEMO_CATALOG
  return VELMAR_DEMO_CATALOG;
#else
  return std::string();
#endif
}

std::string TestCatalog() {
#ifdef VELMAR_TEST_CATALOG
  return VELMAR_TEST_CATALOG;
#else
  return std::string();
#endif
}

bool HaveServer() {
#ifdef VELMAR_SERVERSIM
  return !DemoCatalog().empty() && !TestCatalog().empty();
#else
  return false;
#endif
}

}  // namespace velmar::testing
