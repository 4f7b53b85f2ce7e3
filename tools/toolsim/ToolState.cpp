#include "ToolState.h"

#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

namespace velmar::toolsim {

using nlohmann::json;

const char* FinishKindName(FinishKind kind) {
  switch (kind) {
    case FinishKind::Command:
      return "0xF600";
    case FinishKind::Register0:
      return "register0";
    case FinishKind::Broadcast:
      return "broadcast";
  }
  return "?";
}

std::string Sha256Hex(const uint8_t* data, size_t size) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digest_size = 0;
  if (EVP_Digest(data, size, digest, &digest_size, EVP_sha256(), nullptr) != 1) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest_size * 2);
  for (unsigned int i = 0; i < digest_size; ++i) {
    text.push_back(kHex[digest[i] >> 4]);
    text.push_back(kHex[digest[i] & 0x0F]);
  }
  return text;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (size > 0) {
    const uInt chunk = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
    crc = crc32(crc, data, chunk);
    data += chunk;
    size -= chunk;
  }
  return static_cast<uint32_t>(crc);
}

std::vector<WrittenRange> DescribeRanges(const SparseMemory& memory, bool with_digests) {
  std::vector<WrittenRange> result;
  for (const SparseMemory::Range& range : memory.Ranges()) {
    WrittenRange described;
    described.start = range.start;
    described.length = range.bytes->size();
    if (with_digests) {
      described.sha256 = Sha256Hex(range.bytes->data(), range.bytes->size());
      described.crc32 = Crc32(range.bytes->data(), range.bytes->size());
    }
    result.push_back(std::move(described));
  }
  return result;
}

namespace {

std::string Hex32(uint64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

std::string HexBytes(const uint8_t* data, size_t size) {
  std::string text;
  char byte[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
    text += byte;
  }
  return text;
}

}  // namespace

json StateToJson(const ToolState& state) {
  json written = json::array();
  for (const WrittenRange& range : state.written) {
    json item = {{"start", range.start},
                 {"startHex", Hex32(range.start)},
                 {"length", range.length},
                 {"endHex", Hex32(uint64_t{range.start} + range.length - 1)}};
    if (!range.sha256.empty()) {
      item["sha256"] = range.sha256;
      char crc[12];
      std::snprintf(crc, sizeof crc, "%08x", range.crc32);
      item["crc32"] = crc;
    }
    written.push_back(std::move(item));
  }
  json finishes = json::array();
  for (const FinishRecord& finish : state.finishes) {
    finishes.push_back({{"kind", FinishKindName(finish.kind)},
                        {"mainSoftware", finish.main_software},
                        {"blocks", finish.blocks},
                        {"bytes", finish.bytes},
                        {"sha256", finish.sha256}});
  }
  json resets = json::array();
  for (const ResetRecord& reset : state.resets)
    resets.push_back({{"code", reset.code}, {"accepted", reset.accepted}});

  json root = {{"map", state.map},
               {"slaveAddress", state.slave_address},
               {"serialNumber", state.serial_number},
               {"softwareVersion", state.software_version},
               {"restarting", state.restarting},
               {"hung", state.hung},
               {"written", std::move(written)},
               {"writtenBytes", state.written_bytes},
               {"finishes", std::move(finishes)},
               {"resets", std::move(resets)},
               {"restarts", state.restarts},
               {"counters",
                {{"requests", state.requests},
                 {"replies", state.replies},
                 {"exceptions", state.exceptions},
                 {"ignoredFrames", state.ignored_frames},
                 {"blockWrites", state.block_writes},
                 {"refusedBlocks", state.refused_blocks},
                 {"droppedReplies", state.dropped_replies},
                 {"corruptedReplies", state.corrupted_replies}}}};
  if (state.clock) {
    const ClockRecord& c = *state.clock;
    char when[40];
    std::snprintf(when, sizeof when, "%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned{c.year},
                  unsigned{c.month}, unsigned{c.day}, unsigned{c.hour}, unsigned{c.minute},
                  unsigned{c.second});
    root["clock"] = {{"raw", HexBytes(c.raw.data(), c.raw.size())},
                     {"kind", c.kind},
                     {"utc", when},
                     {"year", c.year},
                     {"month", c.month},
                     {"day", c.day},
                     {"hour", c.hour},
                     {"minute", c.minute},
                     {"second", c.second}};
  } else {
    root["clock"] = nullptr;
  }
  root["zone"] = state.zone ? json(*state.zone) : json(nullptr);
  root["country"] = state.country ? json(*state.country) : json(nullptr);
  return root;
}

int WriteStateFile(const ToolState& state, const std::string& path, std::string* error) {
  const std::string temporary = path + ".tmp." + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      if (error) *error = "cannot write " + temporary;
      return -1;
    }
    out << StateToJson(state).dump(2) << '\n';
    out.flush();
    if (!out) {
      if (error) *error = "cannot write " + temporary;
      std::remove(temporary.c_str());
      return -1;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot rename " + temporary + " to " + path;
    std::remove(temporary.c_str());
    return -1;
  }
  return 0;
}

}  // namespace velmar::toolsim
