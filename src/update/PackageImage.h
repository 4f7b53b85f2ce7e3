#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class ZipArchive;

// One piece of a package, written into the tool at `address`.
struct ImageSection {
  uint8_t index = 0;    // position of its descriptor in the item
  uint8_t kind = 0;     // kind code from the descriptor
  uint32_t address = 0;
  uint32_t length = 0;  // == data.size()
  std::string name;     // format 101 only, at most 19 characters
  std::vector<uint8_t> data;
};

// The parsed content of one package item.
//
// Item layout (little-endian). The last byte is a check byte: the exclusive-or of every byte
// before it. An item whose check byte does not match is one raw section written at address 0.
// A matching item starts with the magic 0x1456 and the format, 100 or 101:
//
//   format 100: 0 magic, 2 format, 4 and 6 header words, 8 (10), 18 (6), 24 (6) header blocks,
//               30 reserved (4), 34 eight descriptors of 8 bytes, 98 section data, check byte.
//               Descriptor: byte 0 high nibble = kind (1 and 15 mark an empty slot), bytes 1-3 =
//               24-bit length, bytes 4-7 = address.
//   format 101: 0 magic, 2 format, 4 and 6 header words, 8 (20), 28 (6), 34 (6) header blocks,
//               40 section count N, 41 N descriptors of 30 bytes, section data, check byte.
//               Descriptor: byte 1 = kind, bytes 2-21 = zero-padded name, 22-25 = address,
//               26-29 = length.
//
// Section data follow the descriptors back to back, in descriptor order.
//
// The item comes from the network and is never trusted: every count, offset and length is checked
// against the item's size before it is used, and a malformed item is a parse failure that leaves
// the image empty. Where the layout leaves a choice open, this reader decides:
//   - descriptors that announce more data than the item holds make the item invalid (no partial
//     image is ever written to a tool);
//   - bytes left over between the last section and the check byte are ignored (kept count of in
//     TrailingBytes()); they are covered by the check byte and harm nothing;
//   - an item of 0 bytes has no check byte and is invalid;
//   - a section of length 0 is kept (with no data); the writer skips it.
class PackageImage {
 public:
  static constexpr uint16_t kMagic = 0x1456;
  static constexpr uint16_t kFormat100 = 100;
  static constexpr uint16_t kFormat101 = 101;
  static constexpr uint16_t kFormatRaw = 0;  // our name for the fallback, never on the wire

  static constexpr size_t kFormat100DescriptorOffset = 34;
  static constexpr size_t kFormat100DescriptorSize = 8;
  static constexpr size_t kFormat100SlotCount = 8;
  static constexpr size_t kFormat100DataOffset = 98;
  static constexpr size_t kFormat101CountOffset = 40;
  static constexpr size_t kFormat101DescriptorOffset = 41;
  static constexpr size_t kFormat101DescriptorSize = 30;
  static constexpr size_t kFormat101NameSize = 20;
  static constexpr size_t kMaxNameLength = 19;

  // The header fields the reader keeps but nothing interprets.
  struct Header {
    uint32_t firstWord = 0;  // magic in the low half, format in the high half
    uint16_t word1 = 0;      // offset 4
    uint16_t word2 = 0;      // offset 6
    std::vector<uint8_t> block1, block2, block3;
  };

  // 0 when the item parsed (also as a raw section), -1 when it is invalid; on failure the image
  // is empty. Replaces whatever the image held.
  int Parse(const uint8_t* item, size_t size);
  int Parse(const std::vector<uint8_t>& item) { return Parse(item.data(), item.size()); }
  void Clear();

  const std::vector<ImageSection>& Sections() const { return sections_; }
  size_t SectionCount() const { return sections_.size(); }
  // Sum of all section lengths: the denominator of the transfer percentage.
  uint64_t TotalLength() const;
  // kFormat100, kFormat101 or kFormatRaw; meaningful after a successful parse.
  uint16_t Format() const { return format_; }
  bool IsRaw() const { return parsed_ && format_ == kFormatRaw; }
  bool IsParsed() const { return parsed_; }
  const Header& HeaderFields() const { return header_; }
  size_t TrailingBytes() const { return trailing_; }

  // Exclusive-or of the bytes, starting from 0.
  static uint8_t CheckByte(const uint8_t* data, size_t size);
  // True when the item's last byte is the check byte of the bytes before it.
  static bool CheckByteMatches(const uint8_t* item, size_t size);

 private:
  int ParseRaw(const uint8_t* item, size_t size);
  int ParseFormat100(const uint8_t* item, size_t body);
  int ParseFormat101(const uint8_t* item, size_t body);
  void ReadHeader(const uint8_t* item, size_t block1, size_t block2, size_t block3);

  std::vector<ImageSection> sections_;
  Header header_;
  uint16_t format_ = kFormatRaw;
  bool parsed_ = false;
  size_t trailing_ = 0;
};

// How the item selection of a downloaded package ended.
enum class ItemSelection {
  Parsed = 0,           // the matching item parsed into the image
  NoArchive = -1,       // the archive is not open (or could not be opened)
  NoMatchingItem = -2,  // no item's base name begins with the prefix
  ExtractFailed = -3,   // the matching item was too large, damaged or encrypted
  ParseFailed = -4,     // the matching item is not a valid package image
};

// Picks the item that belongs to the requested package and parses it into `image`.
// `packageName` is the text the package was asked for with (for the main software, the tool's
// software version); items are matched on the prefix that the package-name rules split from it.
// Items are tried in archive order; the first whose base name (after the last backslash) begins
// with the prefix (case-sensitive) decides, even when it then fails to extract or parse. An
// empty prefix matches the first item. `matchedName` gets that item's base name (empty when none).
ItemSelection SelectPackageItem(const ZipArchive& archive, std::string_view packageName,
                                PackageImage& image, std::string& matchedName);
// The same with the prefix given directly.
ItemSelection SelectPackageItemByPrefix(const ZipArchive& archive, std::string_view prefix,
                                        PackageImage& image, std::string& matchedName);

}  // namespace velmar
