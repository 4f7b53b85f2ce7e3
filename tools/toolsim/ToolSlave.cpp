#include "ToolSlave.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "device/ModbusCrc.h"

namespace velmar::toolsim {

namespace {

constexpr uint8_t kBroadcastSlave = 255;
constexpr uint16_t kRestartCoil = 0x7D01;
constexpr size_t kMaxReadRegisters = 125;
constexpr size_t kMaxWriteRegisters = 123;

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool CrcMatches(const uint8_t* frame, size_t size) {
  const uint16_t crc = ModbusCrc16(frame, size - 2);
  return frame[size - 2] == static_cast<uint8_t>(crc & 0xFF) &&
         frame[size - 1] == static_cast<uint8_t>(crc >> 8);
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

// The threshold below which a 32-bit draw counts as a hit for the given share.
uint64_t Threshold(double rate) {
  if (!(rate > 0)) return 0;
  if (rate >= 1) return uint64_t{1} << 32;
  return static_cast<uint64_t>(rate * 4294967296.0);
}

}  // namespace

ToolSlave::ToolSlave(ToolProfile profile, FaultSettings faults)
    : profile_(std::move(profile)),
      faults_(std::move(faults)),
      random_(faults_.seed),
      software_version_(profile_.software_version) {}

void ToolSlave::SetFaults(const FaultSettings& faults) {
  faults_ = faults;
  random_.seed(faults_.seed);
}

ToolSlave::Route ToolSlave::RouteOf(const uint8_t* frame, size_t size) const {
  const uint8_t slave = frame[0];
  const bool first_map = profile_.map == ToolMap::Protocol1;
  if (slave == SlaveAddress()) return first_map ? Route::FirstMap : Route::SecondMap;
  if (first_map && profile_.dual_map && slave == kBroadcastSlave) return Route::SecondMap;
  // The finish frame to slave 255 after a main-software transfer reaches a first-map tool too.
  if (first_map && slave == kBroadcastSlave && size == 11 && frame[1] == 16 &&
      Be16(frame + 2) == 0 && Be16(frame + 4) == 1 && frame[6] == 2 && frame[7] == 0x00 &&
      frame[8] == 0x07) {
    return Route::Broadcast;
  }
  return Route::None;
}

SlaveResponse ToolSlave::HandleFrame(const uint8_t* frame, size_t size) {
  SlaveResponse response;
  if (size < 4 || !CrcMatches(frame, size)) {
    response.note = "bad frame dropped";
    return response;
  }
  const Route route = RouteOf(frame, size);
  if (route == Route::None) {
    ++stats_.ignored_frames;
    response.note = "for slave " + std::to_string(frame[0]) + ": ignored";
    return response;
  }
  if (restarting_) {
    response.note = "restarting: ignored";
    return response;
  }
  if (faults_.silent_until_restart && !(size == 8 && frame[1] == 5 && Be16(frame + 2) == kRestartCoil)) {
    response.note = "stuck until restarted: ignored";
    return response;
  }
  if (stats_.hung) {
    response.note = "not answering any more";
    return response;
  }
  ++stats_.requests;
  if (faults_.stop_after_requests != 0 && stats_.requests > faults_.stop_after_requests) {
    stats_.hung = true;
    response.note = "not answering any more";
    return response;
  }

  Request request;
  request.slave = frame[0];
  request.function = frame[1];
  Outcome outcome;
  const size_t pdu_size = size - 2;  // without the CRC
  switch (request.function) {
    case 3:
    case 5:
      if (size != 8) {
        outcome.exception = kIllegalValue;
        break;
      }
      request.address = Be16(frame + 2);
      request.quantity = Be16(frame + 4);
      if (request.function == 3 && faults_.silent_at_read != 0 &&
          request.address == faults_.silent_at_read_address &&
          ++silent_read_count_ == faults_.silent_at_read) {
        stats_.hung = true;
        response.note = "read " + Hex(request.address, 4) + ": not answering any more";
        return response;
      }
      outcome = Dispatch(route, request);
      break;
    case 16:
      if (size < 9 || pdu_size != 7u + frame[6]) {
        outcome.exception = kIllegalValue;
        break;
      }
      request.address = Be16(frame + 2);
      request.quantity = Be16(frame + 4);
      request.data = frame + 7;
      request.data_size = frame[6];
      outcome = Dispatch(route, request);
      break;
    default:
      outcome.exception = kIllegalFunction;
      outcome.note = "function " + std::to_string(request.function) + " not supported";
      break;
  }

  response.action = outcome.action;
  response.boot_progress = outcome.boot_progress;
  response.note = outcome.note;
  if (route == Route::Broadcast || outcome.silent) return response;
  if (outcome.exception != 0) {
    ++stats_.exceptions;
    response.reply =
        Frame(request.slave, static_cast<uint8_t>(request.function | 0x80), {outcome.exception});
    if (response.note.empty()) response.note = "exception " + std::to_string(outcome.exception);
  } else {
    response.reply = Frame(request.slave, request.function, outcome.payload);
  }
  ApplyWireFaults(&response);
  return response;
}

ToolSlave::Outcome ToolSlave::Dispatch(Route route, const Request& request) {
  switch (request.function) {
    case 3:
      return Read(route, request);
    case 5:
      return WriteCoil(route, request);
    case 16:
      return WriteRegisters(route, request);
  }
  Outcome outcome;
  outcome.exception = kIllegalFunction;
  return outcome;
}

ToolSlave::Outcome ToolSlave::Read(Route route, const Request& request) {
  Outcome outcome;
  if (request.quantity == 0 || request.quantity > kMaxReadRegisters) {
    outcome.exception = kIllegalValue;
    return outcome;
  }
  std::optional<std::vector<uint8_t>> content;
  const auto override = profile_.register_overrides.find(request.address);
  if (override != profile_.register_overrides.end()) {
    content = override->second;
    const auto defined = route == Route::FirstMap ? FirstMapRegister(request.address)
                                                  : SecondMapRegister(request.address);
    const size_t size = std::max(defined ? defined->size() : 0, (content->size() + 1) / 2 * 2);
    content->resize(size, 0);
  } else {
    content = route == Route::FirstMap ? FirstMapRegister(request.address)
                                       : SecondMapRegister(request.address);
  }
  if (!content || size_t{request.quantity} * 2 > content->size()) {
    outcome.exception = kIllegalAddress;
    outcome.note = "read " + Hex(request.address, 4) + " x" + std::to_string(request.quantity) +
                   ": no such register";
    return outcome;
  }
  const size_t bytes = size_t{request.quantity} * 2;
  outcome.payload.push_back(static_cast<uint8_t>(bytes));
  outcome.payload.insert(outcome.payload.end(), content->begin(),
                         content->begin() + static_cast<ptrdiff_t>(bytes));
  outcome.note = "read " + Hex(request.address, 4) + " x" + std::to_string(request.quantity);
  return outcome;
}

ToolSlave::Outcome ToolSlave::WriteCoil(Route route, const Request& request) {
  Outcome outcome;
  (void)route;
  if (request.address != kRestartCoil) {
    outcome.exception = kIllegalAddress;
    return outcome;
  }
  if (request.quantity != 0xFF00 && request.quantity != 0x0000) {
    outcome.exception = kIllegalValue;
    return outcome;
  }
  // A write-single-coil reply echoes the request.
  outcome.payload = {
      static_cast<uint8_t>(request.address >> 8), static_cast<uint8_t>(request.address & 0xFF),
      static_cast<uint8_t>(request.quantity >> 8), static_cast<uint8_t>(request.quantity & 0xFF)};
  if (request.quantity == 0xFF00) {
    if (route == Route::SecondMap) loader_armed_ = true;
    outcome.note = "restart command";
    BeginRestart(&outcome, false);
  } else {
    outcome.note = "restart coil off: nothing to do";
  }
  return outcome;
}

ToolSlave::Outcome ToolSlave::WriteRegisters(Route route, const Request& request) {
  Outcome outcome;
  if (request.quantity == 0 || request.quantity > kMaxWriteRegisters ||
      request.data_size != size_t{request.quantity} * 2) {
    outcome.exception = kIllegalValue;
    return outcome;
  }
  if (route == Route::Broadcast) return Finish(FinishKind::Broadcast, request);
  if (route == Route::FirstMap) {
    switch (request.address) {
      case 0xF500:
        outcome = WriteBlock(request);
        break;
      case 0xF600:
        outcome = Finish(FinishKind::Command, request);
        break;
      default:
        outcome.exception = kIllegalAddress;
        break;
    }
  } else {
    switch (request.address) {
      case 0x0000:
        outcome = Finish(FinishKind::Register0, request);
        break;
      case 0xA511:
        outcome = WriteBlock(request);
        break;
      case 0xA516:
        outcome = Reset(request);
        break;
      case 0xA5AB:
        outcome = SetZone(request);
        break;
      case 0xA5AC:
        outcome = SetClock(request);
        break;
      default:
        outcome.exception = kIllegalAddress;
        break;
    }
  }
  if (outcome.exception == 0 && !outcome.silent) {
    // A write-multiple-registers reply echoes the start address and the quantity.
    outcome.payload = {
        static_cast<uint8_t>(request.address >> 8), static_cast<uint8_t>(request.address & 0xFF),
        static_cast<uint8_t>(request.quantity >> 8), static_cast<uint8_t>(request.quantity & 0xFF)};
  }
  if (outcome.exception == kIllegalAddress && outcome.note.empty())
    outcome.note = "write " + Hex(request.address, 4) + ": no such register";
  return outcome;
}

ToolSlave::Outcome ToolSlave::WriteBlock(const Request& request) {
  Outcome outcome;
  ++stats_.block_writes;
  if (faults_.silent_at_block != 0 && stats_.block_writes == faults_.silent_at_block) {
    stats_.hung = true;
    outcome.silent = true;
    outcome.note = "block " + std::to_string(stats_.block_writes) + ": not answering any more";
    return outcome;
  }
  if (faults_.unplug_at_block != 0 && stats_.block_writes == faults_.unplug_at_block) {
    outcome.silent = true;
    outcome.action = SlaveAction::Unplug;
    outcome.note = "block " + std::to_string(stats_.block_writes) + ": cable pulled";
    return outcome;
  }
  if (request.data_size < 4) {
    outcome.exception = kIllegalValue;
    return outcome;
  }
  const uint32_t address = Le32(request.data);
  const uint8_t* data = request.data + 4;
  const size_t size = request.data_size - 4;
  const uint64_t even_block = (uint64_t{profile_.block_size} + 1) / 2 * 2;
  outcome.note = "block " + Hex(address, 8) + " +" + std::to_string(size);
  if (size > even_block) {
    outcome.exception = kIllegalValue;
    outcome.note += ": larger than the block size " + std::to_string(profile_.block_size);
    return outcome;
  }
  if (uint64_t{address} + size > (uint64_t{1} << 32)) {
    outcome.exception = kIllegalAddress;
    outcome.note += ": beyond the address space";
    return outcome;
  }
  auto refused = [&](const std::vector<AddressRange>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [&](const AddressRange& r) { return r.Overlaps(address, size); });
  };
  if (refused(profile_.refused_ranges) || refused(faults_.refused_ranges)) {
    ++stats_.refused_blocks;
    outcome.exception = kIllegalAddress;
    outcome.note += ": refused (no memory there)";
    return outcome;
  }
  if (memory_.TotalBytes() + size > faults_.memory_limit) {
    ++stats_.refused_blocks;
    outcome.exception = kDeviceFailure;
    outcome.note += ": memory full";
    return outcome;
  }
  memory_.Write(address, data, size);
  ++blocks_since_finish_;
  bytes_since_finish_ += size;
  data_since_finish_.insert(data_since_finish_.end(), data, data + size);
  for (const AddressRange& range : profile_.main_software.ranges) {
    if (range.Overlaps(address, size)) main_range_touched_ = true;
  }
  return outcome;
}

ToolSlave::Outcome ToolSlave::Finish(FinishKind kind, const Request& request) {
  Outcome outcome;
  if (faults_.silent_at_finish != 0 && stats_.finishes.size() + 1 == faults_.silent_at_finish) {
    stats_.hung = true;
    outcome.silent = true;
    outcome.note = "finish: not answering any more";
    return outcome;
  }
  if (kind == FinishKind::Command) {
    static const uint8_t kCommand[4] = {0x00, 0x00, 0x00, 0xF6};
    if (request.quantity != 18 || !std::equal(kCommand, kCommand + 4, request.data)) {
      outcome.exception = kIllegalValue;
      return outcome;
    }
  } else if (request.quantity != 1 || request.data[0] != 0x00 || request.data[1] != 0x07) {
    outcome.exception = kIllegalValue;
    return outcome;
  }

  bool main_software = false;
  switch (kind) {
    case FinishKind::Command:
      main_software = false;
      break;
    case FinishKind::Broadcast:
      main_software = true;
      break;
    case FinishKind::Register0:
      if (profile_.map == ToolMap::Protocol1) {
        main_software = true;  // a dual-map tool is driven through the first map
      } else if (!profile_.main_software.ranges.empty()) {
        main_software = main_range_touched_;
      } else {
        main_software = loader_armed_;
      }
      break;
  }
  stats_.finishes.push_back({kind, main_software, blocks_since_finish_, bytes_since_finish_,
                             Sha256Hex(data_since_finish_.data(), data_since_finish_.size())});
  data_since_finish_.clear();
  outcome.note = std::string("finish (") + FinishKindName(kind) + ") after " +
                 std::to_string(blocks_since_finish_) + " blocks" +
                 (main_software ? ": main software, restarting" : "");
  blocks_since_finish_ = 0;
  bytes_since_finish_ = 0;
  main_range_touched_ = false;
  loader_armed_ = false;
  if (main_software) {
    std::string version = VersionFromImage();
    if (version.empty()) version = profile_.main_software.new_version;
    if (!version.empty()) pending_version_ = version;
    BeginRestart(&outcome, true);
  }
  return outcome;
}

std::string ToolSlave::VersionFromImage() const {
  if (!profile_.main_software.version_address) return {};
  const size_t max =
      profile_.map == ToolMap::Protocol1 ? kProtocol1VersionMax : kProtocol2VersionMax;
  std::string version;
  std::vector<uint8_t> byte;
  for (size_t i = 0; i < max; ++i) {
    const uint64_t address = uint64_t{*profile_.main_software.version_address} + i;
    if (address > 0xFFFFFFFFu || !memory_.Read(static_cast<uint32_t>(address), 1, &byte) ||
        byte[0] == 0)
      break;
    if (!std::isprint(byte[0])) return {};
    version.push_back(static_cast<char>(byte[0]));
  }
  return version;
}

ToolSlave::Outcome ToolSlave::Reset(const Request& request) {
  Outcome outcome;
  if (request.quantity != 1) {
    outcome.exception = kIllegalValue;
    return outcome;
  }
  const uint16_t code = Le16(request.data);
  const bool accepted = !profile_.reset_code || *profile_.reset_code == code;
  stats_.resets.push_back({code, accepted});
  outcome.note =
      "factory reset with code " + std::to_string(code) + (accepted ? "" : ": wrong code, refused");
  if (!accepted) {
    outcome.exception = kIllegalValue;
    return outcome;
  }
  // A reset tool starts in normal mode: no main software is expected any more.
  loader_armed_ = false;
  if (profile_.restart_on_reset) BeginRestart(&outcome, false);
  return outcome;
}

ToolSlave::Outcome ToolSlave::SetZone(const Request& request) {
  Outcome outcome;
  if (request.quantity != 2) {
    outcome.exception = kIllegalValue;
    return outcome;
  }
  stats_.zone = Le16(request.data);
  stats_.country = Le16(request.data + 2);
  outcome.note =
      "zone " + std::to_string(*stats_.zone) + ", country " + std::to_string(*stats_.country);
  return outcome;
}

ToolSlave::Outcome ToolSlave::SetClock(const Request& request) {
  Outcome outcome;
  if (request.quantity != 5) {
    outcome.exception = kIllegalValue;
    return outcome;
  }
  ClockRecord clock;
  std::copy(request.data, request.data + 10, clock.raw.begin());
  clock.kind = Le16(request.data);
  clock.day = request.data[2];
  clock.month = request.data[3];
  clock.year = Le16(request.data + 4);
  clock.hour = request.data[6];
  clock.minute = request.data[7];
  clock.second = request.data[8];
  const bool valid = clock.kind == 0 && clock.day >= 1 && clock.day <= 31 && clock.month >= 1 &&
                     clock.month <= 12 && clock.hour < 24 && clock.minute < 60 && clock.second < 61;
  if (!valid) {
    outcome.exception = kIllegalValue;
    outcome.note = "clock record refused: not a valid date and time";
    return outcome;
  }
  char text[48];
  std::snprintf(text, sizeof text, "clock %04u-%02u-%02u %02u:%02u:%02u", unsigned{clock.year},
                unsigned{clock.month}, unsigned{clock.day}, unsigned{clock.hour},
                unsigned{clock.minute}, unsigned{clock.second});
  outcome.note = text;
  stats_.clock = clock;
  return outcome;
}

void ToolSlave::BeginRestart(Outcome* outcome, bool boot_progress) {
  restarting_ = true;
  ++stats_.restarts;
  outcome->action = SlaveAction::Restart;
  outcome->boot_progress = boot_progress;
  if (faults_.silent_after_restart != 0 && stats_.restarts == faults_.silent_after_restart) {
    // Its port comes back, but the tool never starts: no progress, no answer.
    stats_.hung = true;
    outcome->boot_progress = false;
  }
}

void ToolSlave::CompleteRestart() {
  restarting_ = false;
  faults_.silent_until_restart = false;
  if (pending_version_) {
    software_version_ = *pending_version_;
    pending_version_.reset();
  }
}

std::vector<uint8_t> ToolSlave::Frame(uint8_t slave, uint8_t function,
                                      const std::vector<uint8_t>& payload) const {
  std::vector<uint8_t> frame;
  frame.reserve(payload.size() + 4);
  frame.push_back(slave);
  frame.push_back(function);
  frame.insert(frame.end(), payload.begin(), payload.end());
  const uint16_t crc = ModbusCrc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

void ToolSlave::ApplyWireFaults(SlaveResponse* response) {
  // Three draws for every reply, used or not, so that one seed gives one sequence of faults.
  const uint64_t drop_draw = random_();
  const uint64_t corrupt_draw = random_();
  const uint32_t where = static_cast<uint32_t>(random_());
  if (drop_draw < Threshold(faults_.drop_rate)) {
    ++stats_.dropped_replies;
    response->reply.clear();
    response->note += " (reply dropped)";
    return;
  }
  if (corrupt_draw < Threshold(faults_.corrupt_rate)) {
    ++stats_.corrupted_replies;
    const size_t byte = (where >> 3) % response->reply.size();
    response->reply[byte] ^= static_cast<uint8_t>(1u << (where & 7));
    response->note += " (reply corrupted)";
  }
  ++stats_.replies;
}

ToolState ToolSlave::Snapshot(bool with_digests) const {
  ToolState state = stats_;
  state.map = ToolMapName(profile_.map);
  state.slave_address = SlaveAddress();
  state.serial_number = profile_.serial_number;
  state.software_version = software_version_;
  state.restarting = restarting_;
  state.written = DescribeRanges(memory_, with_digests);
  state.written_bytes = memory_.TotalBytes();
  return state;
}

}  // namespace velmar::toolsim
