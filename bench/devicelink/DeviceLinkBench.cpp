// Writes 1 MiB in 242-byte blocks through ToolDevice::WriteBlock, then the same blocks with
// libmodbus's modbus_write_registers, both to an instant responder on a pseudo-terminal, and
// prints the software time per block of each. The wire time at 57600 baud 8E1 is about 50 ms
// per block; our own cost per block should stay far below 1 ms.
#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "device/ModbusCrc.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/Pty.h"

using namespace velmar;

namespace {

constexpr uint8_t kPort = 91;
constexpr uint8_t kSlave = 127;
constexpr size_t kBlock = 242;
constexpr size_t kTotal = 1 << 20;

// Answers every complete request at once: the 0xF700 read (block size 242) and any write.
class InstantResponder {
 public:
  explicit InstantResponder(int fd) : fd_(fd), thread_([this] { Run(); }) {}
  ~InstantResponder() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    std::vector<uint8_t> pending;
    uint8_t buffer[512];
    while (!stop_) {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, 20) <= 0) continue;
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) continue;
      pending.insert(pending.end(), buffer, buffer + n);
      while (size_t length = FrameLength(pending)) {
        if (pending.size() < length) break;
        Answer(pending.data());
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(length));
      }
    }
  }
  static size_t FrameLength(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 2) return 0;
    if (bytes[1] == 16) return bytes.size() < 7 ? 0 : 9 + bytes[6];
    return 8;
  }
  void Answer(const uint8_t* request) {
    std::vector<uint8_t> reply;
    if (request[1] == 3) {
      reply = {request[0], 3, 6, 0, 0, 0, 0, static_cast<uint8_t>(kBlock), 0};
    } else {
      reply.assign(request, request + 6);
    }
    const uint16_t crc = ModbusCrc16(reply.data(), reply.size());
    reply.push_back(static_cast<uint8_t>(crc & 0xFF));
    reply.push_back(static_cast<uint8_t>(crc >> 8));
    (void)!write(fd_, reply.data(), reply.size());
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

double MicrosecondsPerBlock(std::chrono::steady_clock::duration elapsed, size_t blocks) {
  return std::chrono::duration<double, std::micro>(elapsed).count() / static_cast<double>(blocks);
}

}  // namespace

int main() {
  testing::TempPortDir dir;
  testing::PtyPeer peer(kPort);
  if (!peer.ok()) {
    std::fprintf(stderr, "no pseudo-terminal\n");
    return 1;
  }
  InstantResponder responder(peer.master_fd());
  std::vector<uint8_t> data(kTotal);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  const size_t blocks = (kTotal + kBlock - 1) / kBlock;

  SerialPort port;
  port.SetPort(kPort);
  if (port.Open() != 1) return 1;
  ToolDevice device;
  device.Attach(&port);
  if (device.Detect() != 0 || device.BlockSize() != kBlock) {
    std::fprintf(stderr, "detection failed\n");
    return 1;
  }
  const auto ours_start = std::chrono::steady_clock::now();
  for (size_t offset = 0; offset < kTotal; offset += kBlock) {
    const size_t size = std::min(kBlock, kTotal - offset);
    if (device.WriteBlock(static_cast<uint32_t>(offset), data.data() + offset, size) != 0) {
      std::fprintf(stderr, "block at %zu failed\n", offset);
      return 1;
    }
  }
  const auto ours = std::chrono::steady_clock::now() - ours_start;
  port.Close();

  // libmodbus opens the device itself; a pty has no parity, so it gets none.
  modbus_t* context = modbus_new_rtu(peer.device_path().c_str(), 57600, 'N', 8, 1);
  modbus_set_slave(context, kSlave);
  if (modbus_connect(context) != 0) {
    std::fprintf(stderr, "libmodbus could not open %s\n", peer.device_path().c_str());
    return 1;
  }
  std::vector<uint16_t> registers(123);
  const auto theirs_start = std::chrono::steady_clock::now();
  for (size_t offset = 0; offset < kTotal; offset += kBlock) {
    const size_t size = std::min(kBlock, kTotal - offset);
    std::vector<uint8_t> payload(4 + size + (size % 2));
    for (int b = 0; b < 4; ++b) payload[b] = static_cast<uint8_t>(offset >> (8 * b));
    std::copy_n(data.data() + offset, size, payload.begin() + 4);
    const size_t count = payload.size() / 2;
    for (size_t r = 0; r < count; ++r) registers[r] = static_cast<uint16_t>(payload[2 * r] << 8 | payload[2 * r + 1]);
    if (modbus_write_registers(context, 0xF500, static_cast<int>(count), registers.data()) < 0) {
      std::fprintf(stderr, "libmodbus block at %zu failed: %s\n", offset, modbus_strerror(errno));
      return 1;
    }
  }
  const auto theirs = std::chrono::steady_clock::now() - theirs_start;
  modbus_close(context);
  modbus_free(context);

  const double ours_us = MicrosecondsPerBlock(ours, blocks);
  const double theirs_us = MicrosecondsPerBlock(theirs, blocks);
  std::printf("block writes: %zu blocks of %zu bytes (1 MiB) to an instant responder on a pty\n", blocks, kBlock);
  std::printf("  ToolDevice::WriteBlock     %8.1f us/block\n", ours_us);
  std::printf("  modbus_write_registers     %8.1f us/block\n", theirs_us);
  std::printf("  ratio ours/libmodbus       %8.2f\n", ours_us / theirs_us);
  std::printf("  wire time at 57600 8E1     %8.1f us/block (request %zu + reply 8 bytes)\n",
              (9.0 + 4 + kBlock + 8) * 11 / 57600 * 1e6, 9 + 4 + kBlock);
  return 0;
}
