// velmar-toolsim: a virtual handheld tool on a pseudo-terminal, registered as COM<n>.
#include <getopt.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "ToolProfile.h"
#include "VirtualTool.h"

using namespace velmar::toolsim;

namespace {

const char kUsage[] =
    "usage: velmar-toolsim --profile FILE --port N [--port-dir DIR] [--state FILE] [options]\n"
    "\n"
    "Plays the handheld tool on a pseudo-terminal registered as COM<N> in the port directory.\n"
    "Prints \"COM<N> <device>\" when ready. SIGUSR1 writes the state file; SIGTERM or SIGINT\n"
    "write it and end, removing the port.\n"
    "\n"
    "  --profile FILE            what the tool reports (JSON; see tools/toolsim/profiles)\n"
    "  --port N                  port number, 1 to 254\n"
    "  --port-dir DIR            port directory (default: $VELMAR_PORT_DIR, then\n"
    "                            $XDG_RUNTIME_DIR/velmar/ports, then /tmp/velmar-<uid>/ports)\n"
    "  --state FILE              state file: written ranges with digests, clock, zone, resets...\n"
    "  --adapter-name TEXT       friendly name of the port (default from the profile)\n"
    "  --restart-delay-ms MS     how long the port is gone after a restart (2000)\n"
    "  --progress-interval-ms MS between start-up progress messages (500)\n"
    "  --trace                   print every frame and event on standard error\n"
    "Faults:\n"
    "  --refuse FIRST-LAST       refuse block writes to these addresses (repeatable; 0x.. "
    "allowed)\n"
    "  --stop-after N            answer nothing after N requests\n"
    "  --silent-at-block K       answer nothing from the K-th block write on\n"
    "  --silent-at-finish K      answer nothing from the K-th finish on\n"
    "  --silent-after-restart K  come back from the K-th restart, but answer nothing\n"
    "  --silent-at-read ADDR:K   answer nothing from the K-th read of register ADDR on\n"
    "  --silent-until-restart    answer nothing until the restart coil is written\n"
    "  --unplug-at-block K       pull the cable at the K-th block write\n"
    "  --unplug-for-ms MS        and plug it back after MS (default: stay away)\n"
    "  --drop-rate P             lose this share of replies (0 to 1)\n"
    "  --corrupt-rate P          flip one bit in this share of replies (0 to 1)\n"
    "  --seed N                  seed of the drop and corrupt choices (1)\n"
    "  --reply-delay-ms MS       answer slowly\n"
    "  --memory-limit BYTES      memory the tool holds (64 MiB)\n"
    "Timing:\n"
    "  --pace                    deliver bytes at 57600 baud, 11 bits a byte (8E1)\n"
    "  --baud N                  pace at another rate\n"
    "  --frame-gap-ms MS         silence that ends a partial request (20)\n";

bool ParseUnsigned(const char* text, uint64_t max, uint64_t* value) {
  if (!text || !*text || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0' || parsed > max) return false;
  *value = parsed;
  return true;
}

bool ParseRate(const char* text, double* rate) {
  char* end = nullptr;
  const double parsed = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(parsed >= 0 && parsed <= 1)) return false;
  *rate = parsed;
  return true;
}

bool ParseRange(const std::string& text, AddressRange* range) {
  const size_t dash = text.find('-', 1);
  if (dash == std::string::npos) return false;
  uint64_t first = 0, last = 0;
  if (!ParseUnsigned(text.substr(0, dash).c_str(), 0xFFFFFFFFu, &first) ||
      !ParseUnsigned(text.substr(dash + 1).c_str(), 0xFFFFFFFFu, &last) || last < first) {
    return false;
  }
  range->first = static_cast<uint32_t>(first);
  range->last = static_cast<uint32_t>(last);
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "velmar-toolsim: %s\n", message.c_str());
  return 2;
}

std::mutex trace_lock;

}  // namespace

int main(int argc, char** argv) {
  enum {
    kProfile = 1000,
    kPort,
    kPortDir,
    kState,
    kAdapterName,
    kRestartDelay,
    kProgressInterval,
    kTrace,
    kRefuse,
    kStopAfter,
    kSilentAtBlock,
    kSilentAtFinish,
    kSilentAfterRestart,
    kSilentAtRead,
    kSilentUntilRestart,
    kUnplugAtBlock,
    kUnplugFor,
    kDropRate,
    kCorruptRate,
    kSeed,
    kReplyDelay,
    kMemoryLimit,
    kPace,
    kBaud,
    kFrameGap,
    kHelp,
  };
  static const option kOptions[] = {
      {"profile", required_argument, nullptr, kProfile},
      {"port", required_argument, nullptr, kPort},
      {"port-dir", required_argument, nullptr, kPortDir},
      {"state", required_argument, nullptr, kState},
      {"adapter-name", required_argument, nullptr, kAdapterName},
      {"restart-delay-ms", required_argument, nullptr, kRestartDelay},
      {"progress-interval-ms", required_argument, nullptr, kProgressInterval},
      {"trace", no_argument, nullptr, kTrace},
      {"refuse", required_argument, nullptr, kRefuse},
      {"stop-after", required_argument, nullptr, kStopAfter},
      {"silent-at-block", required_argument, nullptr, kSilentAtBlock},
      {"silent-at-finish", required_argument, nullptr, kSilentAtFinish},
      {"silent-after-restart", required_argument, nullptr, kSilentAfterRestart},
      {"silent-at-read", required_argument, nullptr, kSilentAtRead},
      {"silent-until-restart", no_argument, nullptr, kSilentUntilRestart},
      {"unplug-at-block", required_argument, nullptr, kUnplugAtBlock},
      {"unplug-for-ms", required_argument, nullptr, kUnplugFor},
      {"drop-rate", required_argument, nullptr, kDropRate},
      {"corrupt-rate", required_argument, nullptr, kCorruptRate},
      {"seed", required_argument, nullptr, kSeed},
      {"reply-delay-ms", required_argument, nullptr, kReplyDelay},
      {"memory-limit", required_argument, nullptr, kMemoryLimit},
      {"pace", no_argument, nullptr, kPace},
      {"baud", required_argument, nullptr, kBaud},
      {"frame-gap-ms", required_argument, nullptr, kFrameGap},
      {"help", no_argument, nullptr, kHelp},
      {nullptr, 0, nullptr, 0},
  };

  std::string profile_path;
  std::string state_path;
  std::string adapter_name;
  VirtualToolOptions options;
  bool have_port = false;
  constexpr uint64_t kMaxMs = 3'600'000;
  int choice;
  while ((choice = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
    uint64_t number = 0;
    const std::string value = optarg ? optarg : "";
    auto need = [&](bool ok, const char* what) {
      if (!ok) std::exit(Fail(std::string("invalid ") + what + ": " + value));
    };
    switch (choice) {
      case kProfile:
        profile_path = value;
        break;
      case kPort:
        need(ParseUnsigned(optarg, 254, &number) && number >= 1, "--port (1 to 254)");
        options.port_number = static_cast<uint8_t>(number);
        have_port = true;
        break;
      case kPortDir:
        options.port_directory = value;
        break;
      case kState:
        state_path = value;
        break;
      case kAdapterName:
        adapter_name = value;
        break;
      case kRestartDelay:
        need(ParseUnsigned(optarg, kMaxMs, &number), "--restart-delay-ms");
        options.restart_delay = std::chrono::milliseconds(number);
        break;
      case kProgressInterval:
        need(ParseUnsigned(optarg, kMaxMs, &number), "--progress-interval-ms");
        options.progress_interval = std::chrono::milliseconds(number);
        break;
      case kTrace:
        options.trace = [](const std::string& line) {
          std::lock_guard<std::mutex> lock(trace_lock);
          std::fprintf(stderr, "%s\n", line.c_str());
        };
        break;
      case kRefuse: {
        AddressRange range;
        need(ParseRange(value, &range), "--refuse (FIRST-LAST)");
        options.faults.refused_ranges.push_back(range);
        break;
      }
      case kSilentUntilRestart:
        options.faults.silent_until_restart = true;
        break;
      case kStopAfter:
        need(ParseUnsigned(optarg, UINT64_MAX, &number), "--stop-after");
        options.faults.stop_after_requests = number;
        break;
      case kSilentAtBlock:
        need(ParseUnsigned(optarg, UINT64_MAX, &number), "--silent-at-block");
        options.faults.silent_at_block = number;
        break;
      case kSilentAtFinish:
        need(ParseUnsigned(optarg, UINT64_MAX, &number), "--silent-at-finish");
        options.faults.silent_at_finish = number;
        break;
      case kSilentAfterRestart:
        need(ParseUnsigned(optarg, UINT64_MAX, &number), "--silent-after-restart");
        options.faults.silent_after_restart = number;
        break;
      case kSilentAtRead: {
        const size_t colon = value.find(':');
        uint64_t address = 0;
        need(colon != std::string::npos &&
                 ParseUnsigned(value.substr(0, colon).c_str(), 0xFFFF, &address) &&
                 ParseUnsigned(value.substr(colon + 1).c_str(), UINT64_MAX, &number),
             "--silent-at-read (ADDR:K)");
        options.faults.silent_at_read_address = static_cast<uint16_t>(address);
        options.faults.silent_at_read = number;
        break;
      }
      case kUnplugAtBlock:
        need(ParseUnsigned(optarg, UINT64_MAX, &number), "--unplug-at-block");
        options.faults.unplug_at_block = number;
        break;
      case kUnplugFor:
        need(ParseUnsigned(optarg, kMaxMs, &number), "--unplug-for-ms");
        options.unplug_for = std::chrono::milliseconds(number);
        break;
      case kDropRate:
        need(ParseRate(optarg, &options.faults.drop_rate), "--drop-rate (0 to 1)");
        break;
      case kCorruptRate:
        need(ParseRate(optarg, &options.faults.corrupt_rate), "--corrupt-rate (0 to 1)");
        break;
      case kSeed:
        need(ParseUnsigned(optarg, UINT32_MAX, &number), "--seed");
        options.faults.seed = static_cast<uint32_t>(number);
        break;
      case kReplyDelay:
        need(ParseUnsigned(optarg, kMaxMs, &number), "--reply-delay-ms");
        options.reply_delay = std::chrono::milliseconds(number);
        break;
      case kMemoryLimit:
        need(ParseUnsigned(optarg, UINT64_MAX, &number), "--memory-limit");
        options.faults.memory_limit = number;
        break;
      case kPace:
        if (options.pace_baud == 0) options.pace_baud = 57600;
        break;
      case kBaud:
        need(ParseUnsigned(optarg, 4'000'000, &number) && number >= 300, "--baud");
        options.pace_baud = static_cast<uint32_t>(number);
        break;
      case kFrameGap:
        need(ParseUnsigned(optarg, 10'000, &number) && number >= 1, "--frame-gap-ms");
        options.frame_gap = std::chrono::milliseconds(number);
        break;
      case kHelp:
        std::fputs(kUsage, stdout);
        return 0;
      default:
        std::fputs(kUsage, stderr);
        return 2;
    }
  }
  if (optind < argc) return Fail(std::string("unexpected argument: ") + argv[optind]);
  if (profile_path.empty() || !have_port) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::string error;
  if (LoadProfile(profile_path, &options.profile, &error) != 0) return Fail(error);
  if (!adapter_name.empty()) {
    if (adapter_name.find('\n') != std::string::npos)
      return Fail("--adapter-name must be one line");
    options.profile.adapter_name = adapter_name;
  }
  if (!options.port_directory.empty()) {
    // The program's port paths follow the same directory in this process.
    setenv("VELMAR_PORT_DIR", options.port_directory.c_str(), 1);
  }

  // Signals are taken synchronously by this thread; the tool's thread never sees them.
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  VirtualTool tool(std::move(options));
  if (tool.Start(&error) != 0) return Fail(error);
  std::printf("COM%u %s\n", unsigned{tool.PortNumber()}, tool.DevicePath().c_str());
  std::fflush(stdout);

  auto save_state = [&] {
    if (state_path.empty()) return;
    std::string message;
    if (tool.WriteStateFile(state_path, &message) != 0)
      std::fprintf(stderr, "velmar-toolsim: %s\n", message.c_str());
  };
  while (true) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) continue;
    if (signal == SIGUSR1) {
      save_state();
      continue;
    }
    break;
  }
  tool.Stop();
  save_state();
  return 0;
}
