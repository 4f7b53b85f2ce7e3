#pragma once
// A bare master for tests: opens the virtual tool's device in raw mode, writes a request and
// collects the reply with a deadline. Deliberately not the program's SerialPort.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace velmar::toolsim::testing {

class PtyClient {
 public:
  explicit PtyClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~PtyClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  bool Send(const std::vector<uint8_t>& bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Reads until `count` bytes arrived or the time-out passed; hung_up is set when the device
  // went away.
  std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout,
                               bool* hung_up = nullptr) {
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (hung_up) *hung_up = false;
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd pfd{fd_, POLLIN, 0};
      if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
      if (!(pfd.revents & POLLIN)) {
        if (hung_up) *hung_up = true;
        break;
      }
      uint8_t chunk[512];
      const ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, count - bytes.size()));
      if (n <= 0) {
        if (hung_up) *hung_up = true;
        break;
      }
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

  std::vector<uint8_t> Exchange(
      const std::vector<uint8_t>& request, size_t reply_size,
      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    tcflush(fd_, TCIFLUSH);
    if (!Send(request)) return {};
    return Receive(reply_size, timeout);
  }

 private:
  int fd_ = -1;
};

// Polls a condition that another process changes; true once it holds, false at the deadline.
template <typename Condition>
bool Eventually(Condition condition,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace velmar::toolsim::testing
