// Feeds arbitrary bytes to the package image reader, and, when they open as a zip archive, to
// the item selection that extracts and parses an item.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/ZipArchive.h"
#include "update/PackageImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmar::PackageImage image;
  if (image.Parse(data, size) == 0) {
    uint64_t total = 0;
    for (const velmar::ImageSection& s : image.Sections()) {
      if (s.data.size() != s.length || s.name.size() > 19) __builtin_trap();
      total += s.length;
    }
    if (total > size) __builtin_trap();
  } else if (image.SectionCount() != 0) {
    __builtin_trap();
  }

  velmar::ZipArchive archive;
  if (archive.OpenBuffer(std::span<const uint8_t>(data, size)) == 0) {
    std::string matched;
    // One character of prefix from the input, so both matching and skipping are explored.
    const std::string prefix = size > 0 ? std::string(1, static_cast<char>(data[size - 1] & 0x7F)) : "";
    velmar::SelectPackageItemByPrefix(archive, prefix, image, matched);
    velmar::SelectPackageItem(archive, "1.00", image, matched);
  }
  return 0;
}
