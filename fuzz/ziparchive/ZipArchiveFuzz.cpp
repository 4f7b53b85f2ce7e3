// The zip reader over a package held in memory, as downloads reach it: the directory, every
// item's name and size, extraction into a buffer and into a caller's fixed buffer, and the
// names a program file may be saved under. Extraction never hands back more than announced.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/ZipArchive.h"
#include "update/ProgramUpdateWorker.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmar::ZipArchive archive;
  if (archive.OpenBuffer(std::span<const uint8_t>(data, size)) != 0) {
    Check(!archive.IsOpen() && archive.ItemCount() == 0);
    return 0;
  }
  const int count = archive.ItemCount();
  Check(count >= 0);
  for (int i = 0; i < count && i < 16; ++i) {
    velmar::ZipItemInfo info;
    if (archive.ItemInfo(i, info) != 0) continue;
    const std::string base = velmar::ZipItemBaseName(info.name);
    Check(base.size() <= info.name.size());
    Check(base.find('/') == std::string::npos && base.find('\\') == std::string::npos);
    const std::string safe = velmar::ProgramUpdateWorker::SafeItemName(info.name);
    Check(safe != "." && safe != ".." && safe.find('/') == std::string::npos);
    // Small limits keep the fuzzer fast; the limit check is what matters.
    std::vector<uint8_t> item;
    if (archive.ExtractItem(i, item, 1 << 20) == 0) {
      Check(item.size() == info.uncompressedSize);
    } else {
      Check(item.empty());
    }
    uint8_t buffer[512];
    size_t written = 0;
    if (archive.ExtractItem(i, buffer, sizeof buffer, written) == 0) {
      Check(written <= sizeof buffer && written == info.uncompressedSize);
    }
  }
  velmar::ZipItemInfo none;
  Check(archive.ItemInfo(count, none) != 0 && archive.ItemInfo(-1, none) != 0);
  return 0;
}
