#include "support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "platform/PortPaths.h"

namespace velmar::testing {

TempPortDir::TempPortDir() {
  char pattern[] = "/tmp/velmar-test-ports-XXXXXX";
  const char* made = mkdtemp(pattern);
  path_ = made ? made : "/tmp";
  if (const char* old = getenv("VELMAR_PORT_DIR")) {
    previous_ = old;
    had_previous_ = true;
  }
  setenv("VELMAR_PORT_DIR", path_.c_str(), 1);
}

TempPortDir::~TempPortDir() {
  if (had_previous_) {
    setenv("VELMAR_PORT_DIR", previous_.c_str(), 1);
  } else {
    unsetenv("VELMAR_PORT_DIR");
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

PtyPeer::PtyPeer(uint8_t port_number) : port_number_(port_number) {
  master_fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_fd_ < 0) return;
  if (grantpt(master_fd_) != 0 || unlockpt(master_fd_) != 0) {
    close(master_fd_);
    master_fd_ = -1;
    return;
  }
  slave_path_ = ptsname(master_fd_);
  std::error_code ignored;
  std::filesystem::create_directories(PortDirectory(), ignored);
  std::filesystem::remove(PortLinkPath(port_number_), ignored);
  std::filesystem::create_symlink(slave_path_, PortLinkPath(port_number_), ignored);
}

PtyPeer::~PtyPeer() { Hangup(); }

void PtyPeer::Send(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_fd_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

Bytes PtyPeer::Receive(size_t n, int deadline_ms) {
  Bytes got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
  while (got.size() < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{master_fd_, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    if (!(pfd.revents & POLLIN)) break;
    uint8_t buffer[512];
    const size_t want = std::min(sizeof buffer, n - got.size());
    const ssize_t r = read(master_fd_, buffer, want);
    if (r <= 0) break;
    got.insert(got.end(), buffer, buffer + r);
  }
  return got;
}

void PtyPeer::Hangup() {
  if (master_fd_ >= 0) {
    close(master_fd_);
    master_fd_ = -1;
  }
  std::error_code ignored;
  std::filesystem::remove(PortLinkPath(port_number_), ignored);
}

}  // namespace velmar::testing
