#include "support/UpdateTestSupport.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

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
#ifdef VELMAR_SERVERSIM
  if (directory_.Path().empty()) return false;
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
#else
  (void)catalog;
  (void)switches;
  return false;
#endif
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
