// The termios binding of the serial port: exclusive raw-mode access, the program's line
// codes mapped onto termios, and read/write time-outs built from poll() and a monotonic clock.
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/PortPaths.h"
#include "platform/SerialBinding.h"

namespace velmar {

namespace {

using SteadyClock = std::chrono::steady_clock;

long MillisecondsUntil(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return left.count() < 0 ? 0 : static_cast<long>(left.count());
}

bool BaudConstant(uint32_t baud_rate, speed_t* speed) {
  struct Rate {
    uint32_t baud;
    speed_t constant;
  };
  static constexpr Rate kRates[] = {
      {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
      {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const Rate& rate : kRates) {
    if (rate.baud == baud_rate) {
      *speed = rate.constant;
      return true;
    }
  }
  return false;
}

tcflag_t CharacterSize(uint8_t data_bits) {
  switch (data_bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

// Asks the driver to raise RTS only while transmitting (RS-485 mode), as the tool's adapter
// expects. Most RS-232 adapters and every pseudo-terminal lack the mode; RTS is then left alone.
void EnableRtsOnSend(int fd) {
  struct serial_rs485 rs485 {};
  if (ioctl(fd, TIOCGRS485, &rs485) != 0) return;
  rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  rs485.flags &= ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND);
  (void)ioctl(fd, TIOCSRS485, &rs485);
}

class PosixSerialChannel : public SerialChannel {
 public:
  PosixSerialChannel(int fd, std::string path) : fd_(fd), path_(std::move(path)) {
    struct stat opened {};
    if (fstat(fd_, &opened) == 0) device_ = opened.st_rdev;
  }
  ~PosixSerialChannel() override {
    // The exclusive flag can outlive the descriptor (it does on a pseudo-terminal), which
    // would keep everyone but root out of the port after we close it.
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    close(fd_);
  }

  bool ApplyLineSettings(const LineSettings& settings) override {
    termios tio {};
    if (tcgetattr(fd_, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag |= CharacterSize(settings.data_bits);
    switch (settings.parity) {
      case 1: tio.c_cflag |= PARENB | PARODD; break;
      case 2: tio.c_cflag |= PARENB; break;
      case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;  // mark
      case 4: tio.c_cflag |= PARENB | CMSPAR; break;           // space
      default: break;
    }
    // One and a half stop bits do not exist in termios; two is the nearest.
    if (settings.stop_bits != 0) tio.c_cflag |= CSTOPB;
    // Reads never wait in the kernel; poll() does the waiting, so no byte is held back.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    bool accepted = true;
    speed_t speed;
    if (BaudConstant(settings.baud_rate, &speed)) {
      cfsetispeed(&tio, speed);
      cfsetospeed(&tio, speed);
    } else {
      accepted = false;
    }
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) accepted = false;
    EnableRtsOnSend(fd_);
    return accepted;
  }

  bool ApplyTimeouts(const SerialTimeouts& timeouts) override {
    timeouts_ = timeouts;
    return true;
  }

  void Purge() override { tcflush(fd_, TCIOFLUSH); }

  void WatchAbandon(const std::atomic<bool>* flag) override { abandon_ = flag; }

  long Write(const uint8_t* data, size_t count) override {
    const auto deadline = SteadyClock::now() +
                          std::chrono::milliseconds(static_cast<uint64_t>(count) * timeouts_.write_total_multiplier +
                                                    timeouts_.write_total_constant);
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(fd_, data + done, count - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return -1;
      const long wait = MillisecondsUntil(deadline);
      if (wait == 0) break;
      if (Abandoned()) return -1;
      pollfd pfd{fd_, POLLOUT, 0};
      const int ready = poll(&pfd, 1, static_cast<int>(std::min(wait, kAbandonCheckMs)));
      if (ready < 0 && errno != EINTR) return -1;
      if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) return -1;
    }
    if (done == 0 && count > 0) return -1;
    return static_cast<long>(done);
  }

  long Read(uint8_t* destination, size_t count) override {
    const auto start = SteadyClock::now();
    const auto total_deadline =
        start + std::chrono::milliseconds(static_cast<uint64_t>(count) * timeouts_.read_total_multiplier +
                                          timeouts_.read_total_constant);
    const auto interval = std::chrono::milliseconds(timeouts_.read_interval);
    size_t got = 0;
    SteadyClock::time_point last_byte{};
    while (got < count) {
      auto deadline = total_deadline;
      // The gap rule starts with the first byte: a silent line waits for the total time-out.
      if (got > 0 && timeouts_.read_interval > 0 && last_byte + interval < deadline)
        deadline = last_byte + interval;
      const long wait = MillisecondsUntil(deadline);
      if (wait == 0) break;
      if (Abandoned()) return -1;
      pollfd pfd{fd_, POLLIN, 0};
      const int ready = poll(&pfd, 1, static_cast<int>(std::min(wait, kAbandonCheckMs)));
      if (ready < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (ready == 0) continue;  // the loop re-checks the deadlines
      if (pfd.revents & (POLLERR | POLLNVAL)) return -1;
      if (!(pfd.revents & POLLIN)) return -1;  // hung up: the device went away
      const ssize_t n = ::read(fd_, destination + got, count - got);
      if (n > 0) {
        got += static_cast<size_t>(n);
        last_byte = SteadyClock::now();
      } else if (n == 0) {
        return -1;  // readable but empty: the other end hung up
      } else if (errno != EAGAIN && errno != EINTR) {
        return -1;
      }
    }
    return static_cast<long>(got);
  }

  bool Vanished() override {
    pollfd pfd{fd_, 0, 0};
    if (poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) return true;
    // The node (or the port directory's link) removed, or now leading to another device.
    struct stat now {};
    if (stat(path_.c_str(), &now) != 0) return errno == ENOENT || errno == ENOTDIR;
    return now.st_rdev != device_;
  }

 private:
  // How often a wait looks at the abandon flag.
  static constexpr long kAbandonCheckMs = 50;
  bool Abandoned() const { return abandon_ != nullptr && abandon_->load(); }

  int fd_;
  std::string path_;
  dev_t device_ = 0;
  SerialTimeouts timeouts_;
  const std::atomic<bool>* abandon_ = nullptr;
};

class PosixSerialBinding : public SerialBinding {
 public:
  std::unique_ptr<SerialChannel> Open(uint8_t port_number) override {
    const std::optional<std::string> path = ResolvePortDevice(port_number);
    if (!path) return nullptr;
    const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // Exclusive use: TIOCEXCL keeps other opens out (but for root), the advisory lock keeps out
    // other programs that honour it, such as a second Velmar.
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixSerialChannel>(fd, *path);
  }
};

}  // namespace

SerialBinding& SystemSerialBinding() {
  static PosixSerialBinding binding;
  return binding;
}

}  // namespace velmar
