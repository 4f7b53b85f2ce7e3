#include "app/AppConfig.h"

#include <cstdio>

#include "platform/LocalFiles.h"

namespace velmar {

namespace {

void PutLe32(uint8_t* out, int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  out[0] = static_cast<uint8_t>(u);
  out[1] = static_cast<uint8_t>(u >> 8);
  out[2] = static_cast<uint8_t>(u >> 16);
  out[3] = static_cast<uint8_t>(u >> 24);
}

int32_t GetLe32(const uint8_t* in) {
  const uint32_t u = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                     static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
  return static_cast<int32_t>(u);
}


}  // namespace

std::array<uint8_t, AppConfig::kFileSize> AppConfig::Encode() const {
  std::array<uint8_t, kFileSize> bytes{};
  PutLe32(bytes.data(), autoDetect);
  PutLe32(bytes.data() + 4, portNumber);
  PutLe32(bytes.data() + 8, upgradeCheck);
  PutLe32(bytes.data() + 12, 0);
  return bytes;
}

void AppConfig::Decode(const uint8_t* bytes, size_t size) {
  int32_t* const fields[] = {&autoDetect, &portNumber, &upgradeCheck, &reserved};
  for (size_t i = 0; i < 4 && (i + 1) * 4 <= size; ++i) *fields[i] = GetLe32(bytes + i * 4);
}

int AppConfig::Load(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  uint8_t bytes[kFileSize] = {};
  const size_t size = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  Decode(bytes, size);
  return 0;
}

int AppConfig::Save(const std::string& path) const {
  const auto bytes = Encode();
  return ReplaceFileDurably(path, bytes.data(), bytes.size()) ? 0 : -1;
}

}  // namespace velmar
