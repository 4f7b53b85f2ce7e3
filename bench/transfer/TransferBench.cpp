// A whole main-software job: a package of kPayload bytes from velmar-serversim, unpacked and
// written by DownloadWorker through ToolDevice into velmar-toolsim paced at 57600 baud 8E1 with
// 242-byte blocks. Prints the payload rate while the blocks go out and its ratio to the wire's
// ceiling: every block's request and reply at 11 bits a character plus the 3.5-character
// silence before each frame.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "platform/CurlHttpTransport.h"
#include "platform/EventPoster.h"
#include "support/Pty.h"
#include "support/UpdateTestSupport.h"
#include "update/DownloadWorker.h"

using namespace velmar;
using namespace std::chrono_literals;
using nlohmann::json;
using Steady = std::chrono::steady_clock;

namespace {

constexpr uint8_t kPort = 7;
constexpr uint32_t kBaud = 57600;
constexpr double kBitsPerChar = 11.0;  // start, 8 data, parity, stop
constexpr double kGapChars = 3.5;
constexpr uint32_t kBlock = 242;
// About 50 s on the wire: large enough that set-up and the finish do not count.
constexpr uint32_t kPayload = 224 * 1024;
constexpr uint16_t kBlockRegister = 0xA511;
constexpr const char* kSerial = "QL7-12-000123";

// Characters on the wire for one block write of `count` bytes: the request (slave, function,
// address, quantity, byte count, 4 address bytes, the data padded to whole registers, CRC) and
// the 8-byte reply, each after a 3.5-character silence.
double BlockChars(uint32_t count) {
  const double request = 7 + 4 + count + (count % 2) + 2;
  return request + 8 + 2 * kGapChars;
}

// The window's end of the worker's events: the finish event, and nothing else matters here.
class FinishWaiter : public EventPoster {
 public:
  void Post(uint32_t message, int32_t event, int32_t value) override {
    if (message != DownloadWorker::kMessage || event != DownloadWorker::kEventFinished) return;
    std::lock_guard<std::mutex> guard(lock_);
    result_ = value;
    changed_.notify_all();
  }
  // The TransferResult, or -1 when the job did not end in time.
  int Wait(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, limit, [this] { return result_ >= 0; });
    return result_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  int result_ = -1;
};

// Times the block writes as they leave and their replies as they arrive (the trace hook runs
// on the worker's thread, right at the port).
struct BlockTimes {
  std::mutex lock;
  Steady::time_point first_sent{};
  Steady::time_point last_reply{};
  bool in_block = false;
  uint64_t blocks = 0;
  uint64_t payload = 0;
  double wire_chars = 0;
};

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace

int main() {
  if (!testing::HaveServer()) {
    std::fprintf(stderr, "the local update server was not built\n");
    return 1;
  }
  testing::TempPortDir ports;
  testing::ScratchDir work;

  // The package, built by velmar-pack like the demo catalogue's.
  const json manifest = {{"packages",
                          {{{"zip", "main-bench.zip"},
                            {"items",
                             {{{"name", "1.10.bin"},
                               {"format", 101},
                               {"header",
                                {{"word1", 1},
                                 {"word2", 110},
                                 {"block1", "QL7-12 MAIN"},
                                 {"block2", "1.10"},
                                 {"block3", "P2"}}},
                               {"sections",
                                {{{"address", "0x00010000"},
                                  {"kind", 2},
                                  {"name", "APPLICATION"},
                                  {"pattern", {{"seed", 4242}, {"length", kPayload}}}}}}}}}}}}};
  const std::string catalogue = work.File("catalogue");
  if (!WriteText(work.File("manifest.json"), manifest.dump()) ||
      testing::RunProgram({VELMAR_PACK_EXE, "--manifest", work.File("manifest.json"), "--out-dir",
                           catalogue}).exit != 0) {
    std::fprintf(stderr, "velmar-pack failed\n");
    return 1;
  }
  const json catalog = {{"texte", "bench"},
                        {"tools",
                         {{{"serial", kSerial},
                           {"software", {{"version", "1.10"}, {"package", "main-bench.zip"}}}}}}};
  if (!WriteText(catalogue + "/catalog.json", catalog.dump())) return 1;
  testing::ServerProcess server;
  if (!server.Start(catalogue)) {
    std::fprintf(stderr, "velmar-serversim did not start\n");
    return 1;
  }

  // The demo's second-map tool with 242-byte blocks, paced at the line rate.
  json profile;
  {
    std::ifstream in(std::string(VELMAR_PROFILES) + "/protocol2.json");
    profile = json::parse(in);
  }
  profile["blockSize"] = kBlock;
  profile["serialNumber"] = kSerial;
  if (!WriteText(work.File("profile.json"), profile.dump())) return 1;
  testing::ChildProcess tool;
  std::string line;
  if (!tool.Start({VELMAR_TOOLSIM_EXE, "--profile", work.File("profile.json"), "--port",
                   std::to_string(kPort), "--baud", std::to_string(kBaud)}) ||
      !tool.ReadLine(line, 10s)) {
    std::fprintf(stderr, "velmar-toolsim did not start\n");
    return 1;
  }

  SerialPort port;
  port.SetPort(kPort);
  if (port.Open() != 1) {
    std::fprintf(stderr, "COM%u did not open\n", kPort);
    return 1;
  }
  ToolDevice device;
  device.Attach(&port);
  if (device.Detect() != 0 || device.Protocol() != DeviceProtocol::Protocol2) {
    std::fprintf(stderr, "the virtual tool was not detected\n");
    return 1;
  }

  BlockTimes times;
  device.Master().SetTraceHook([&times](FrameDirection direction, const uint8_t* bytes,
                                        size_t count) {
    const auto now = Steady::now();
    std::lock_guard<std::mutex> guard(times.lock);
    if (direction == FrameDirection::Sent) {
      times.in_block = count > 13 && bytes[1] == 16 && (bytes[2] << 8 | bytes[3]) == kBlockRegister;
      if (!times.in_block) return;
      if (times.blocks == 0) times.first_sent = now;
      // Header 7, address 4, data (with its pad), CRC 2; the pad is no payload.
      const uint32_t data = static_cast<uint32_t>(bytes[6]) - 4;
      times.wire_chars += BlockChars(data);
      ++times.blocks;
    } else if (times.in_block) {
      times.last_reply = now;
    }
  });

  CurlHttpTransport http(testing::DirectConnection());
  DownloadWorker worker(server.Address(), http);
  FinishWaiter waiter;
  worker.SetWindow(&waiter);
  worker.SetDevice(&device);
  worker.SetIdentity(kSerial, "1.00");
  worker.SetMainSoftware(true);
  const auto job_start = Steady::now();
  worker.Start();
  const int result = waiter.Wait(180s);
  const auto job_end = Steady::now();
  worker.Stop();
  port.Close();
  if (result != TR_WRITTEN) {
    std::fprintf(stderr, "the job ended with %d (%s)\n", result, TransferResultName(result));
    return 1;
  }

  std::lock_guard<std::mutex> guard(times.lock);
  const double seconds = std::chrono::duration<double>(times.last_reply - times.first_sent).count();
  const double char_s = kBitsPerChar / kBaud;
  const double ceiling_s = times.wire_chars * char_s;
  const double full_block_rate = kBlock / (BlockChars(kBlock) * char_s);
  const double rate = kPayload / seconds;
  std::printf("transfer: %u bytes of main software in %llu blocks of up to %u bytes, %u baud 8E1\n",
              kPayload, static_cast<unsigned long long>(times.blocks), kBlock, kBaud);
  std::printf("  whole job (download, unpack, blocks, finish)  %8.2f s\n",
              std::chrono::duration<double>(job_end - job_start).count());
  std::printf("  block writes, first request to last reply     %8.2f s\n", seconds);
  std::printf("  payload rate                                   %8.0f bytes/s\n", rate);
  std::printf("  ceiling for 242-byte blocks (%.0f chars/block)  %8.0f bytes/s\n",
              BlockChars(kBlock), full_block_rate);
  std::printf("  ratio to the ceiling (these blocks)            %8.1f %%\n",
              100.0 * ceiling_s / seconds);
  // The simulator answers right after the request's wire time and sends no silence before its
  // reply: against its pacing alone, what is left is our own time plus its scheduling.
  const double paced_s = (times.wire_chars - times.blocks * 2 * kGapChars) * char_s;
  std::printf("  ratio to the simulator's pacing (no silences)  %8.1f %%\n",
              100.0 * paced_s / seconds);
  std::printf(
      "  per block: wire with silences %.2f ms, paced by the simulator %.2f ms, measured %.2f ms\n",
      1000.0 * ceiling_s / times.blocks, 1000.0 * paced_s / times.blocks,
      1000.0 * seconds / times.blocks);
  return 0;
}
