#include "app/AppConfig.h"

#include "platform/FileWrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

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


// A new file beside target that no one else uses; -1 when none could be created.
int CreateSibling(const std::string& target, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(attempt);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Makes the rename itself durable; a failure here only weakens that, so it is not reported.
void SyncDirectoryOf(const std::string& path) {
  std::filesystem::path directory = std::filesystem::path(path).parent_path();
  if (directory.empty()) directory = ".";
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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
  std::string temporary;
  const int fd = CreateSibling(path, temporary);
  if (fd < 0) return -1;
  const auto bytes = Encode();
  bool ok = WriteAll(fd, bytes.data(), bytes.size());
  ok = (::fsync(fd) == 0) && ok;
  ok = (::close(fd) == 0) && ok;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) {
    SyncDirectoryOf(path);
    return 0;
  }
  ::unlink(temporary.c_str());
  return -1;
}

}  // namespace velmar
