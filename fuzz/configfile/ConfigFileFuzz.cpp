// Reads made-up configuration files: the decoder on the bytes, and the file reader on the same
// bytes written to a file, which must agree; whatever was read writes back as the same 16 bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "app/AppConfig.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

const std::string& ScratchFile() {
  // tmpfs when there is one: a file per input is the point of the reader, not the disk.
  static const std::string path =
      (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
      "/velmar-fuzz-config-" + std::to_string(getpid()) + ".cfg";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmar::AppConfig decoded;
  decoded.Decode(data, size);
  {
    std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  velmar::AppConfig loaded;
  Check(loaded.Load(ScratchFile()) == 0);
  Check(loaded == decoded);
  const auto image = decoded.Encode();
  velmar::AppConfig again;
  again.Decode(image.data(), image.size());
  again.reserved = decoded.reserved;  // written as 0, ignored when read
  Check(again == decoded);
  return 0;
}
