#include "Session.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <ostream>

#include "app/AppConfig.h"
#include "app/ControlIds.h"
#include "app/Strings.h"
#include "device/PortList.h"
#include "device/PortScanner.h"
#include "platform/PortWatch.h"
#include "platform/Clock.h"
#include "platform/LocalFiles.h"
#include "platform/PortPaths.h"

namespace velmar::cli {

namespace {

// Not one of the window's timers.
constexpr int kWakeTimer = 1000;

// The run an interruption wakes.
std::mutex active_lock;
StdEventLoop* active_loop = nullptr;  // guarded by active_lock
std::atomic<bool> interrupted{false};

bool IsAdapterName(const std::string& name) {
  for (const char* adapter : PortScanner::kAdapterNames)
    if (name.find(adapter) != std::string::npos) return true;
  return false;
}

}  // namespace

std::string PortAccessProblem(const std::string& device_path) {
  return SerialPermissionProblem(device_path);
}

// A test hook, not for users: VELMAR_TEST_CLOCK_SCALE=N runs the window's ticks and the
// workers' waits N times faster (1 to 100), so that end-to-end tests of whole updates and of
// their time bounds run in seconds. Serial and HTTP time-outs stay real.
static std::unique_ptr<Clock> TestClockFromEnvironment() {
  const char* text = getenv("VELMAR_TEST_CLOCK_SCALE");
  if (text == nullptr || *text == 0) return nullptr;
  char* end = nullptr;
  const long factor = strtol(text, &end, 10);
  if (*end != 0 || factor < 2 || factor > 100) return nullptr;
  return std::make_unique<ScaledClock>(static_cast<unsigned>(factor));
}

Session::Session(const CliOptions& options, ConsoleView& view, std::ostream& trace)
    : options_(options),
      view_(view),
      trace_(trace),
      test_clock_(TestClockFromEnvironment()),
      clock_(test_clock_ ? *test_clock_ : SystemClock()),
      loop_(clock_) {
  std::lock_guard<std::mutex> guard(active_lock);
  active_loop = &loop_;
}

Session::~Session() {
  {
    std::lock_guard<std::mutex> guard(active_lock);
    if (active_loop == &loop_) active_loop = nullptr;
  }
  if (window_ && Interrupted()) window_->Terminate();
  window_.reset();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

int Session::Start(std::string& error) {
  if (options_.port) {
    const auto device = ResolvePortDevice(static_cast<uint8_t>(*options_.port));
    if (!device) {
      error = "port " + std::to_string(*options_.port) +
              " is not present; `velmar-cli ports` lists the ports there are";
      return kExitNoTool;
    }
    if (std::string problem = PortAccessProblem(*device); !problem.empty()) {
      error = problem;
      return kExitFailed;
    }
  }

  // The user's settings as they are, with the port choice of the command line; the program's
  // own self-update never runs from here. The user's file is left untouched.
  AppConfig config;
  config.Load(options_.config_path);
  config.upgradeCheck = 0;
  if (options_.port) {
    config.autoDetect = 0;
    config.portNumber = *options_.port;
  } else {
    config.autoDetect = 1;
  }
  return Launch(config, std::string(), error);
}

int Session::StartSelfUpdate(const std::string& folder, std::string& error) {
  AppConfig config;
  config.upgradeCheck = 1;
  return Launch(config, folder, error);
}

int Session::Launch(AppConfig config, const std::string& program_folder, std::string& error) {
  folder_ = MakePrivateTemporaryFolder();
  if (folder_.empty()) {
    error = "cannot create a temporary folder: " + LastSystemErrorText() + "; check TMPDIR";
    return kExitFailed;
  }
  const std::string config_path = folder_ + "/" + AppConfig::kFileName;
  if (config.Save(config_path) != 0) {
    error = "cannot write the settings of the run into " + folder_;
    return kExitFailed;
  }

  MainWindowSetup setup;
  setup.clock = &clock_;
  setup.server = options_.server;
  std::string history_error;
  if (history_.OpenDefault(history_error)) {
    setup.history = &history_;
  } else {
    // The job itself does not depend on it.
    trace_ << "velmar-cli: the update history is not kept: " << history_error << "\n";
  }
  setup.config_path = config_path;
  // A device run never downloads the program; its folder is the private one.
  setup.program_folder = program_folder.empty() ? folder_ : program_folder;
  setup.show_at_start = false;
  setup.port_watch = &SystemPortWatch();  // a tool plugged in while we wait is found at once
  // The command line saves a new version of the program and names it; it never runs it.
  setup.start_program = [](const std::string&, std::string* why) {
    if (why) *why = "velmar-cli does not start programs";
    return false;
  };
  // Frames and requests come from the scanner's and the workers' threads as well as from the
  // loop's.
  auto trace_lock = std::make_shared<std::mutex>();
  auto trace = [this, trace_lock](const std::string& line) {
    std::lock_guard<std::mutex> hold(*trace_lock);
    trace_ << line << "\n" << std::flush;
  };
  if (options_.trace) {
    http_trace_ = std::make_unique<TracingHttpTransport>(SystemHttpTransport(), trace);
    setup.http = http_trace_.get();
  }
  window_ = std::make_unique<MainWindow>(view_, loop_, setup);
  if (options_.trace) {
    window_->Device().Master().SetTraceHook(
        [trace](FrameDirection direction, const uint8_t* bytes, size_t count) {
          trace(FormatTraceLine(direction, bytes, count));
        });
  }
  if (config.upgradeCheck == 1) {
    program_update_ = ProgramUpdateRecord{};
    loop_.SetHandler(&filter_);
    // Without the device search no window timer runs; this one lets RunUntil see its deadline.
    loop_.StartTimer(kWakeTimer, timer::kPeriodMs);
  }
  window_->Initialize();
  return kExitOk;
}

void Session::ProgramUpdateFilter::OnMessage(uint32_t message, int32_t event, int32_t value) {
  if (message == ProgramUpdateWorker::kMessage) {
    ProgramUpdateRecord& record = session_.program_update_;
    switch (event) {
      case ProgramUpdateWorker::kEventNewerVersion:
        record.offered = true;
        break;
      case ProgramUpdateWorker::kEventRequestFailed:
      case ProgramUpdateWorker::kEventReadFailed:
        record.request_failed = true;
        break;
      case ProgramUpdateWorker::kEventProxyLogin:
        record.proxy_login = true;
        break;
      case ProgramUpdateWorker::kEventEnded:
        record.ended_value = value;
        break;
      case ProgramUpdateWorker::kEventThreadEnding:
        record.thread_ended = true;
        return;  // the window would start the device search now
      default:
        break;
    }
  }
  session_.window_->OnMessage(message, event, value);
}

void Session::ProgramUpdateFilter::OnTimer(int timer_id) {
  if (timer_id != kWakeTimer) session_.window_->OnTimer(timer_id);
}

bool Session::RunUntil(const std::function<bool()>& done, uint64_t max_ms) {
  Clock& clock = SystemClock();
  const uint64_t deadline = clock.NowMs() + max_ms;
  // The window's one-second timer wakes the loop, so the deadline is seen within a second.
  loop_.RunUntil([&] { return Interrupted() || done() || clock.NowMs() >= deadline; });
  if (Interrupted() && window_) {
    // Whatever the command does next finds the tool's port given up, not a long wait.
    window_->Terminate();
    return false;
  }
  return done();
}

void Session::Interrupt() {
  interrupted.store(true);
  std::lock_guard<std::mutex> guard(active_lock);
  if (active_loop != nullptr) active_loop->Wake();
}

bool Session::Interrupted() { return interrupted.load(); }

bool Session::LogHas(int string_id) const {
  return window_->Log().text().find(LoadString(string_id) + "\r\n") != std::string::npos;
}

int Session::WaitForTool(std::string& error) {
  const uint64_t timeout_ms = static_cast<uint64_t>(options_.timeout_seconds) * 1000;
  if (!RunUntil([&] { return LogHas(kStrDeviceDetected); }, timeout_ms)) {
    error = "no tool found within " + std::to_string(options_.timeout_seconds) + " s. " +
            NoToolAdvice();
    return kExitNoTool;
  }
  if (window_->Identity().serial_number.empty() || window_->Identity().hardware_version.empty()) {
    error = "the tool answered but its identity could not be read; reconnect it and try again";
    return kExitFailed;
  }
  return kExitOk;
}

std::string Session::NoToolAdvice() const {
  if (options_.port) {
    return "Check that the tool is switched on and connected to port " +
           std::to_string(*options_.port) + ", or leave out --port to find it by its adapter.";
  }
  PortList ports;
  ports.Enumerate();
  bool adapter_present = false;
  for (const PortEntry& entry : ports.Entries()) {
    if (!IsAdapterName(entry.friendly_name)) continue;
    adapter_present = true;
    const auto device = ResolvePortDevice(static_cast<uint8_t>(entry.number));
    if (!device) continue;
    if (std::string problem = PortAccessProblem(*device); !problem.empty()) return problem + ".";
  }
  if (adapter_present) {
    return "The tool's adapter is there but the tool did not answer: switch the tool on, or "
           "reconnect it, and try again.";
  }
  return "No port carries the tool's adapter: connect the tool, or name its port with --port N "
         "(`velmar-cli ports` lists them).";
}

}  // namespace velmar::cli
