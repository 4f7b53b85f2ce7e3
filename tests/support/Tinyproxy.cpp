#include "support/Tinyproxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

extern char** environ;

namespace velmar::testing {
namespace {

using namespace std::chrono_literals;

bool PollUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) {
  for (auto deadline = std::chrono::steady_clock::now() + limit;
       std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(10ms)) {
    if (done()) return true;
  }
  return false;
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

Tinyproxy::Tinyproxy(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {}

Tinyproxy::~Tinyproxy() {
  Stop();
  if (!directory_.empty()) std::filesystem::remove_all(directory_);
}

std::string Tinyproxy::Program() {
  for (const char* path : {"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"})
    if (access(path, X_OK) == 0) return path;
  return {};
}

bool Tinyproxy::Start() {
  if (Program().empty()) return Fail("tinyproxy is not installed; scripts/install-deps.sh installs it");
  char pattern[] = "/tmp/velmar-tinyproxy-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return Fail("cannot make a temporary directory");
  directory_ = pattern;
  // A port picked free may be taken before the proxy binds it; try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreePort();
    if (!Spawn()) return false;
    const bool ready = PollUntil(10s, [&] {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
      return pid_ < 0 || Accepts(port_);
    });
    if (ready && pid_ > 0) return true;
    Stop();
  }
  return Fail("tinyproxy did not start; its log: " + Log());
}

void Tinyproxy::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (!PollUntil(5s, [&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; })) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

std::string Tinyproxy::Log() const {
  std::ifstream in(directory_ + "/tinyproxy.log");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Tinyproxy::Fail(std::string why) {
  failure_ = std::move(why);
  return false;
}

bool Tinyproxy::Spawn() {
  std::string config = directory_ + "/tinyproxy.conf";
  std::ofstream(config) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                        << "Allow 127.0.0.1\nDisableViaHeader Yes\nLogLevel Info\n"
                        << "BasicAuth " << user_ << " " << password_
                        << "\n"
                        // tinyproxy will not keep root rights.
                        << (geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "");
  std::string log = directory_ + "/tinyproxy.log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::string program = Program();
  std::vector<char*> argv = {program.data(), const_cast<char*>("-d"), const_cast<char*>("-c"),
                             config.data(), nullptr};
  const int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    pid_ = -1;
    return Fail("cannot start tinyproxy");
  }
  return true;
}

}  // namespace velmar::testing
