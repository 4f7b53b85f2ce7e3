// Serial ports appearing and going on Linux: udev's events for the tty subsystem (adapters
// plugged in or pulled) and inotify on the port directory ("COM<n>" links of virtual tools).
// Either alone is enough; with neither the watch is inactive and the scanner polls.
#include <errno.h>
#include <libudev.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/PortPaths.h"
#include "platform/PortWatch.h"

namespace velmar {

namespace {

using Steady = std::chrono::steady_clock;

// Events of one change come in bursts (a link's temporary name, then the link; udev's add
// for the tty and its parents): after the first, the rest are gathered until the sources are
// quiet this long, but never longer than the bound.
constexpr int kSettleMs = 20;
constexpr auto kSettleBound = std::chrono::milliseconds(200);
// Reads of queued events in one wake-up: a flood of them cannot hold the scanner.
constexpr int kMaxReadsPerWake = 64;

// "COM<n>" exactly: the link itself, not its ".name" file or a temporary name.
bool IsPortLinkName(const char* name) {
  if (std::strncmp(name, "COM", 3) != 0 || name[3] == '\0') return false;
  for (const char* c = name + 3; *c; ++c)
    if (*c < '0' || *c > '9') return false;
  return true;
}

class LinuxPortWatch : public PortWatch {
 public:
  LinuxPortWatch() {
    OpenUdev();
    inotify_fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    WatchPortDirectory();
  }

  ~LinuxPortWatch() override {
    if (inotify_fd_ >= 0) close(inotify_fd_);
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
  }

  bool Active() const override { return monitor_ != nullptr || inotify_fd_ >= 0; }

  bool WaitForChange(uint32_t ms) override {
    auto deadline = Steady::now() + std::chrono::milliseconds(ms);
    // The port directory may come into being (or back) after the watch was opened.
    bool changed = WatchPortDirectory();
    if (changed) deadline = Steady::now() + kSettleBound;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
      if (left.count() <= 0) return changed;
      const int wait = changed ? std::min<int>(kSettleMs, static_cast<int>(left.count()))
                               : static_cast<int>(left.count());
      if (!Poll(wait)) {
        if (changed) return true;
        continue;  // the loop re-checks the deadline
      }
      if (Drain() && !changed) {
        changed = true;
        deadline = Steady::now() + kSettleBound;
      }
    }
  }

 private:
  void OpenUdev() {
    udev_ = udev_new();
    if (!udev_) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ && udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) == 0 &&
        udev_monitor_enable_receiving(monitor_) == 0) {
      return;
    }
    if (monitor_) udev_monitor_unref(monitor_);
    monitor_ = nullptr;
  }

  // Starts watching the port directory when it is not watched yet; true when that began now
  // (links made before it was watched are news to the scanner).
  bool WatchPortDirectory() {
    if (inotify_fd_ < 0 || directory_watch_ >= 0) return false;
    directory_watch_ = inotify_add_watch(inotify_fd_, PortDirectory().c_str(),
                                         IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                             IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    return directory_watch_ >= 0;
  }

  // True when one of the sources has something to read within `ms`.
  bool Poll(int ms) {
    pollfd fds[2];
    nfds_t count = 0;
    if (monitor_) fds[count++] = {udev_monitor_get_fd(monitor_), POLLIN, 0};
    if (inotify_fd_ >= 0) fds[count++] = {inotify_fd_, POLLIN, 0};
    if (count == 0) {
      if (ms > 0) usleep(static_cast<useconds_t>(ms) * 1000);
      return false;
    }
    const int ready = poll(fds, count, ms);
    return ready > 0;
  }

  // Reads everything pending; true when some of it was a serial port appearing or going.
  bool Drain() {
    bool changed = false;
    if (monitor_) {
      // A burst of events is read in bounded turns; the rest stays readable for the next wait.
      for (int turn = 0; turn < kMaxReadsPerWake; ++turn) {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) break;
        const char* action = udev_device_get_action(device);
        if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
          changed = true;
        udev_device_unref(device);
      }
    }
    if (inotify_fd_ >= 0) {
      alignas(inotify_event) char buffer[4096];
      for (int turn = 0; turn < kMaxReadsPerWake; ++turn) {
        const ssize_t n = read(inotify_fd_, buffer, sizeof buffer);
        if (n <= 0) break;  // EAGAIN: nothing more
        for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
          const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
          const ssize_t size = static_cast<ssize_t>(sizeof(inotify_event) + event->len);
          if (offset + size > n) break;
          if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
            // The folder went: everything in it went too; watch again when it is back.
            if (event->wd == directory_watch_) {
              inotify_rm_watch(inotify_fd_, directory_watch_);
              directory_watch_ = -1;
              changed = true;
            }
          } else if (event->len > 0 && IsPortLinkName(event->name)) {
            changed = true;
          }
          offset += size;
        }
      }
    }
    return changed;
  }

  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  int inotify_fd_ = -1;
  int directory_watch_ = -1;
};

}  // namespace

PortWatch& SystemPortWatch() {
  static LinuxPortWatch watch;
  return watch;
}

}  // namespace velmar
