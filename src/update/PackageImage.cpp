#include "update/PackageImage.h"

#include <new>

#include "platform/ZipArchive.h"
#include "server/PackageName.h"

namespace velmar {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Takes `length` bytes at `offset` of a body of `body` bytes into the section, when they exist.
bool TakeData(ImageSection& section, const uint8_t* item, size_t body, size_t& offset,
              uint32_t length) {
  if (offset > body || length > body - offset) return false;
  section.length = length;
  section.data.assign(item + offset, item + offset + length);
  offset += length;
  return true;
}

}  // namespace

uint8_t PackageImage::CheckByte(const uint8_t* data, size_t size) {
  uint8_t check = 0;
  for (size_t i = 0; i < size; ++i) check ^= data[i];
  return check;
}

bool PackageImage::CheckByteMatches(const uint8_t* item, size_t size) {
  if (item == nullptr || size == 0) return false;
  return CheckByte(item, size - 1) == item[size - 1];
}

void PackageImage::Clear() {
  sections_.clear();
  sections_.shrink_to_fit();
  header_ = Header{};
  format_ = kFormatRaw;
  parsed_ = false;
  trailing_ = 0;
}

uint64_t PackageImage::TotalLength() const {
  uint64_t total = 0;
  for (const ImageSection& s : sections_) total += s.length;
  return total;
}

int PackageImage::Parse(const uint8_t* item, size_t size) {
  Clear();
  // An empty item has no check byte, hence no valid reading at all.
  if (item == nullptr || size == 0) return -1;
  int result = -1;
  try {
    if (!CheckByteMatches(item, size)) {
      result = ParseRaw(item, size);
    } else if (size - 1 >= 4 && Le16(item) == kMagic) {
      const uint16_t format = Le16(item + 2);
      if (format == kFormat100) {
        result = ParseFormat100(item, size - 1);
      } else if (format == kFormat101) {
        result = ParseFormat101(item, size - 1);
      }
    }
  } catch (const std::bad_alloc&) {
    result = -1;
  }
  if (result != 0) {
    Clear();
    return -1;
  }
  parsed_ = true;
  return 0;
}

int PackageImage::ParseRaw(const uint8_t* item, size_t size) {
  // Sections are addressed with 32 bits; a larger raw item cannot be described.
  if (size > UINT32_MAX) return -1;
  ImageSection section;
  size_t offset = 0;
  TakeData(section, item, size, offset, static_cast<uint32_t>(size));  // the check byte too
  sections_.push_back(std::move(section));
  format_ = kFormatRaw;
  return 0;
}

void PackageImage::ReadHeader(const uint8_t* item, size_t block1, size_t block2, size_t block3) {
  header_.firstWord = Le32(item);
  header_.word1 = Le16(item + 4);
  header_.word2 = Le16(item + 6);
  const uint8_t* p = item + 8;
  header_.block1.assign(p, p + block1);
  p += block1;
  header_.block2.assign(p, p + block2);
  p += block2;
  header_.block3.assign(p, p + block3);
}

// `body` is the item's size without its check byte.
int PackageImage::ParseFormat100(const uint8_t* item, size_t body) {
  if (body < kFormat100DataOffset) return -1;
  ReadHeader(item, 10, 6, 6);
  size_t offset = kFormat100DataOffset;
  for (size_t slot = 0; slot < kFormat100SlotCount; ++slot) {
    const uint8_t* d = item + kFormat100DescriptorOffset + slot * kFormat100DescriptorSize;
    const uint8_t kind = d[0] >> 4;
    if (kind == 1 || kind == 15) continue;  // empty slot
    ImageSection section;
    section.index = static_cast<uint8_t>(slot);
    section.kind = kind;
    section.address = Le32(d + 4);
    const uint32_t length = d[1] | (d[2] << 8) | (static_cast<uint32_t>(d[3]) << 16);
    if (!TakeData(section, item, body, offset, length)) return -1;
    sections_.push_back(std::move(section));
  }
  trailing_ = body - offset;
  format_ = kFormat100;
  return 0;
}

int PackageImage::ParseFormat101(const uint8_t* item, size_t body) {
  if (body < kFormat101DescriptorOffset) return -1;
  ReadHeader(item, 20, 6, 6);
  const size_t count = item[kFormat101CountOffset];
  const size_t dataOffset = kFormat101DescriptorOffset + count * kFormat101DescriptorSize;
  if (dataOffset > body) return -1;
  sections_.reserve(count);
  size_t offset = dataOffset;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* d = item + kFormat101DescriptorOffset + i * kFormat101DescriptorSize;
    ImageSection section;
    section.index = static_cast<uint8_t>(i);
    section.kind = d[1];
    const uint8_t* name = d + 2;
    size_t nameLength = 0;
    while (nameLength < kMaxNameLength && name[nameLength] != 0) ++nameLength;
    section.name.assign(reinterpret_cast<const char*>(name), nameLength);
    section.address = Le32(d + 22);
    if (!TakeData(section, item, body, offset, Le32(d + 26))) return -1;
    sections_.push_back(std::move(section));
  }
  trailing_ = body - offset;
  format_ = kFormat101;
  return 0;
}

ItemSelection SelectPackageItem(const ZipArchive& archive, std::string_view packageName,
                                PackageImage& image, std::string& matchedName) {
  return SelectPackageItemByPrefix(archive, PackageName(packageName).Prefix(), image,
                                   matchedName);
}

ItemSelection SelectPackageItemByPrefix(const ZipArchive& archive, std::string_view prefix,
                                        PackageImage& image, std::string& matchedName) {
  matchedName.clear();
  if (!archive.IsOpen()) return ItemSelection::NoArchive;
  const int count = archive.ItemCount();
  for (int i = 0; i < count; ++i) {
    ZipItemInfo info;
    if (archive.ItemInfo(i, info) != 0) continue;
    std::string base = ZipItemBaseName(info.name);
    if (base.compare(0, prefix.size(), prefix) != 0) continue;
    matchedName = std::move(base);
    std::vector<uint8_t> item;
    if (archive.ExtractItem(i, item) != 0) {
      image.Clear();
      return ItemSelection::ExtractFailed;
    }
    return image.Parse(item) == 0 ? ItemSelection::Parsed : ItemSelection::ParseFailed;
  }
  return ItemSelection::NoMatchingItem;
}

}  // namespace velmar
