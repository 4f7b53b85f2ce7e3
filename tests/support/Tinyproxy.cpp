#include "support/Tinyproxy.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace velmar::testing {
namespace {

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

Tinyproxy::Tinyproxy(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {}

std::string Tinyproxy::Program() {
  for (const char* path : {"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"})
    if (access(path, X_OK) == 0) return path;
  return {};
}

bool Tinyproxy::Start() {
  if (Program().empty()) return Fail("tinyproxy is not installed; scripts/install-deps.sh installs it");
  if (directory_.Path().empty()) return Fail("cannot make a temporary directory");
  const std::string config = directory_.File("tinyproxy.conf");
  // A port picked free may be taken before the proxy binds it; try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreeLoopbackPort();
    std::ofstream(config) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                          << "Allow 127.0.0.1\nDisableViaHeader Yes\nLogLevel Info\n"
                          << "BasicAuth " << user_ << " " << password_ << "\n"
                          // tinyproxy will not keep root rights.
                          << (geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "");
    // Its output goes to a file: nobody reads the pipes while it runs.
    if (!process_.Start({"/bin/sh", "-c", "exec \"$0\" -d -c \"$1\" >>\"$2\" 2>&1", Program(), config,
                         directory_.File("tinyproxy.log")}))
      return Fail("cannot start tinyproxy");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      process_.WaitExit(std::chrono::milliseconds(0));  // reaps it, should it have ended
      if (process_.Pid() <= 0) break;
      if (Accepts(port_)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
  }
  return Fail("tinyproxy did not start; its log: " + Log());
}

std::string Tinyproxy::Log() const { return ReadFileText(directory_.File("tinyproxy.log")); }

bool Tinyproxy::Fail(std::string why) {
  failure_ = std::move(why);
  return false;
}

}  // namespace velmar::testing
