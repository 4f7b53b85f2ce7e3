#include "VirtualTool.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "FrameAssembler.h"
#include "PseudoTerminal.h"
#include "platform/PortPaths.h"

namespace velmar::toolsim {

namespace {

std::string HexLine(const std::vector<uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", bytes[i]);
    text += byte;
  }
  return text;
}

}  // namespace

// What only the tool's thread touches.
struct VirtualTool::Loop {
  Loop(const std::string& directory, uint8_t number, const std::string& name,
       std::chrono::milliseconds gap)
      : registration(directory, number, name), assembler(gap) {}

  PseudoTerminal pty;
  PortRegistration registration;
  FrameAssembler assembler;
  std::optional<Clock::time_point> unplug_at;  // a restart takes the adapter away then
  std::optional<Clock::time_point> replug_at;  // and brings it back then
  bool boot_pending = false;                   // after the return: start-up progress first
  bool booting = false;
  size_t progress_index = 0;
  Clock::time_point next_progress{};
};

VirtualTool::VirtualTool(VirtualToolOptions options)
    : options_(std::move(options)),
      port_directory_(options_.port_directory.empty() ? PortDirectory() : options_.port_directory),
      slave_(options_.profile, options_.faults),
      loop_(std::make_unique<Loop>(port_directory_, options_.port_number,
                                   options_.profile.adapter_name, options_.frame_gap)) {}

VirtualTool::~VirtualTool() { Stop(); }

int VirtualTool::Start(std::string* error) {
  if (thread_.joinable()) return 0;
  if (options_.port_number == 0 || options_.port_number == kNoPort) {
    if (error) *error = "the port number must be between 1 and 254";
    return -1;
  }
  if (loop_->registration.CheckFree(error) != 0) return -1;
  if (pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    if (error) *error = "cannot create the wake-up pipe";
    return -1;
  }
  std::string message;
  if (loop_->pty.Open(&message) != 0 ||
      loop_->registration.Register(loop_->pty.SlavePath(), &message) != 0) {
    loop_->pty.Close();
    ::close(wake_pipe_[0]);
    ::close(wake_pipe_[1]);
    wake_pipe_[0] = wake_pipe_[1] = -1;
    if (error) *error = message;
    return -1;
  }
  // Powered on afresh: nothing pending from an earlier run, and answering at once.
  loop_->unplug_at.reset();
  loop_->replug_at.reset();
  loop_->boot_pending = false;
  loop_->booting = false;
  loop_->assembler.Reset();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slave_.IsRestarting()) slave_.CompleteRestart();
    stop_requested_ = false;
    unplug_requested_ = false;
    replug_requested_ = false;
    plugged_ = true;
    ++appearances_;
    device_path_ = loop_->pty.SlavePath();
  }
  Changed();
  Trace("plugged in as " + loop_->registration.LinkPath() + " -> " + loop_->pty.SlavePath());
  thread_ = std::thread(&VirtualTool::Run, this);
  return 0;
}

void VirtualTool::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_requested_ = true;
  }
  Wake();
  thread_.join();
  ::close(wake_pipe_[0]);
  ::close(wake_pipe_[1]);
  wake_pipe_[0] = wake_pipe_[1] = -1;
}

void VirtualTool::Unplug() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unplug_requested_ = true;
    replug_requested_ = false;
  }
  Wake();
}

void VirtualTool::Replug() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replug_requested_ = true;
    unplug_requested_ = false;
  }
  Wake();
}

bool VirtualTool::IsPlugged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plugged_;
}

uint64_t VirtualTool::Appearances() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return appearances_;
}

std::string VirtualTool::DevicePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_path_;
}

std::string VirtualTool::LinkPath() const { return loop_->registration.LinkPath(); }
std::string VirtualTool::FriendlyNamePath() const { return loop_->registration.NamePath(); }

ToolState VirtualTool::State(bool with_digests) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slave_.Snapshot(with_digests);
}

bool VirtualTool::ReadMemory(uint32_t address, size_t size, std::vector<uint8_t>* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slave_.Memory().Read(address, size, out);
}

int VirtualTool::WriteStateFile(const std::string& path, std::string* error) const {
  return toolsim::WriteStateFile(State(true), path, error);
}

void VirtualTool::SetFaults(const FaultSettings& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  slave_.SetFaults(faults);
}

bool VirtualTool::WaitUntil(
    const std::function<bool(const ToolState&, const PortState&)>& predicate,
    std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return predicate(slave_.Snapshot(false), PortState{plugged_, appearances_, device_path_});
  });
}

bool VirtualTool::WaitForAppearances(uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return plugged_ && appearances_ >= count; });
}

bool VirtualTool::WaitForPlugged(bool plugged, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return plugged_ == plugged; });
}

void VirtualTool::Changed() { changed_.notify_all(); }

void VirtualTool::Wake() {
  if (wake_pipe_[1] < 0) return;
  const char byte = 1;
  (void)!::write(wake_pipe_[1], &byte, 1);
}

void VirtualTool::Trace(const std::string& line) const {
  if (options_.trace) options_.trace(line);
}

void VirtualTool::Plug() {
  std::string error;
  if (loop_->pty.Open(&error) != 0 ||
      loop_->registration.Register(loop_->pty.SlavePath(), &error) != 0) {
    // The port cannot come back yet (the directory may be gone); try again later.
    loop_->pty.Close();
    loop_->replug_at = Clock::now() + options_.restart_delay;
    Trace("cannot plug in: " + error);
    return;
  }
  loop_->assembler.Reset();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_ = true;
    ++appearances_;
    device_path_ = loop_->pty.SlavePath();
    if (!loop_->boot_pending && slave_.IsRestarting()) slave_.CompleteRestart();
  }
  Changed();
  Trace("plugged in as " + loop_->registration.LinkPath() + " -> " + loop_->pty.SlavePath());
  if (loop_->boot_pending) {
    loop_->boot_pending = false;
    loop_->booting = true;
    loop_->progress_index = 0;
    loop_->next_progress = Clock::now() + options_.progress_interval;
  }
}

void VirtualTool::PullCable() {
  loop_->registration.Unregister();
  loop_->pty.Close();
  loop_->assembler.Reset();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_ = false;
    device_path_.clear();
  }
  Changed();
  Trace("unplugged");
}

void VirtualTool::SendProgress() {
  const std::vector<uint8_t>& steps = options_.profile.progress;
  const uint8_t step = steps[loop_->progress_index];
  SendBytes({0xAA, 0x55, step});
  Trace("-> AA 55 " + HexLine({step}) + " (start-up progress)");
  ++loop_->progress_index;
  if (loop_->progress_index < steps.size()) {
    loop_->next_progress = Clock::now() + options_.progress_interval;
    return;
  }
  loop_->booting = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slave_.CompleteRestart();
  }
  Changed();
  Trace("ready");
}

void VirtualTool::SendBytes(const std::vector<uint8_t>& bytes) {
  const int fd = loop_->pty.MasterFd();
  if (fd < 0) return;
  auto write_some = [&](const uint8_t* data, size_t count) {
    size_t done = 0;
    int stalls = 0;
    while (done < count) {
      const ssize_t n = ::write(fd, data + done, count - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return;
      // Nobody reads the line and its buffer is full: the rest is lost, as on a wire.
      if (++stalls > 10) return;
      pollfd pfd{fd, POLLOUT, 0};
      ::poll(&pfd, 1, 10);
    }
  };
  if (options_.pace_baud == 0) {
    write_some(bytes.data(), bytes.size());
    return;
  }
  // One byte at a time on an absolute schedule, so that sleep overshoot does not add up.
  const auto byte_time = std::chrono::nanoseconds(11'000'000'000LL / options_.pace_baud);
  const auto start = Clock::now();
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::this_thread::sleep_until(start + byte_time * static_cast<int64_t>(i + 1));
    write_some(&bytes[i], 1);
  }
}

bool VirtualTool::SleepUnlessStopped(Clock::duration duration) {
  const auto deadline = Clock::now() + duration;
  while (true) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_requested_) return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return true;
    pollfd pfd{wake_pipe_[0], POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) > 0) {
      char drain[64];
      while (::read(wake_pipe_[0], drain, sizeof drain) > 0) {
      }
    }
  }
}

void VirtualTool::HandleFrame(const std::vector<uint8_t>& frame) {
  if (!loop_->pty.IsOpen()) return;
  Trace("<- " + HexLine(frame));
  SlaveResponse response;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    response = slave_.HandleFrame(frame);
  }
  Changed();
  if (!response.note.empty()) Trace("   " + response.note);
  if (!response.reply.empty()) {
    if (options_.reply_delay.count() > 0 && !SleepUnlessStopped(options_.reply_delay)) return;
    if (options_.pace_baud != 0) {
      // The request itself took this long on the wire.
      const auto wire = std::chrono::nanoseconds(11'000'000'000LL / options_.pace_baud) *
                        static_cast<int64_t>(frame.size());
      std::this_thread::sleep_for(wire);
    }
    SendBytes(response.reply);
    Trace("-> " + HexLine(response.reply));
  }
  const auto now = Clock::now();
  switch (response.action) {
    case SlaveAction::None:
      break;
    case SlaveAction::Restart:
      loop_->unplug_at = now + options_.restart_grace;
      loop_->boot_pending = response.boot_progress;
      break;
    case SlaveAction::Unplug:
      PullCable();
      if (options_.unplug_for.count() >= 0) loop_->replug_at = now + options_.unplug_for;
      break;
  }
}

void VirtualTool::Run() {
  std::vector<FrameAssembler::Frame> frames;
  std::vector<uint8_t> buffer(4096);
  while (true) {
    bool unplug = false;
    bool replug = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_requested_) break;
      unplug = std::exchange(unplug_requested_, false);
      replug = std::exchange(replug_requested_, false);
    }
    auto now = Clock::now();
    if (unplug) {
      loop_->unplug_at.reset();
      loop_->replug_at.reset();
      // A tool unplugged while it boots boots again when it comes back.
      if (loop_->booting) loop_->boot_pending = true;
      loop_->booting = false;
      if (loop_->pty.IsOpen()) PullCable();
    }
    if (replug && !loop_->pty.IsOpen()) loop_->replug_at = now;

    if (loop_->unplug_at && now >= *loop_->unplug_at) {
      loop_->unplug_at.reset();
      if (loop_->pty.IsOpen()) PullCable();
      loop_->replug_at = now + options_.restart_delay;
    }
    if (!loop_->pty.IsOpen() && loop_->replug_at && now >= *loop_->replug_at) {
      loop_->replug_at.reset();
      Plug();
    }
    if (loop_->booting && loop_->pty.IsOpen() && now >= loop_->next_progress) SendProgress();

    // Sleep until the next timed event, input, or a command.
    now = Clock::now();
    Clock::time_point deadline = now + std::chrono::seconds(1);
    auto consider = [&](const std::optional<Clock::time_point>& when) {
      if (when && *when < deadline) deadline = *when;
    };
    consider(loop_->unplug_at);
    if (!loop_->pty.IsOpen()) consider(loop_->replug_at);
    if (loop_->booting) consider(loop_->next_progress);
    consider(loop_->assembler.Deadline());
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();

    pollfd fds[2] = {{wake_pipe_[0], POLLIN, 0}, {loop_->pty.MasterFd(), POLLIN, 0}};
    const nfds_t count = loop_->pty.IsOpen() ? 2 : 1;
    const int ready = ::poll(fds, count, static_cast<int>(std::max<int64_t>(wait, 0)));
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (::read(wake_pipe_[0], drain, sizeof drain) > 0) {
      }
    }
    frames.clear();
    if (count == 2 && (fds[1].revents & POLLIN)) {
      const ssize_t n = ::read(loop_->pty.MasterFd(), buffer.data(), buffer.size());
      // While it boots the tool does not listen.
      if (n > 0 && !loop_->booting) {
        loop_->assembler.Feed(buffer.data(), static_cast<size_t>(n), Clock::now(), &frames);
      }
    } else if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR))) {
      // Cannot happen while the slave side is held open; never spin on it.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    loop_->assembler.Idle(Clock::now(), &frames);
    for (const auto& frame : frames) HandleFrame(frame);
  }
  if (loop_->pty.IsOpen()) PullCable();
}

}  // namespace velmar::toolsim
