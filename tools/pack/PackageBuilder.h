#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmar::pack {

// One section of an item to build. In format 100 an `empty` entry fills a descriptor slot that
// carries no section (kind 1 or 15).
struct SectionSpec {
  uint32_t address = 0;
  uint8_t kind = 0;
  std::string name;  // format 101 only, at most 19 characters
  std::vector<uint8_t> data;
  bool empty = false;
};

enum class ItemFormat { Format100, Format101, Raw };

// The header fields the tool's reader keeps but does not interpret; block texts are
// zero-padded to their field size (format 100: 10, 6, 6 bytes; format 101: 20, 6, 6 bytes).
struct HeaderSpec {
  uint16_t word1 = 0;
  uint16_t word2 = 0;
  std::string block1, block2, block3;
};

struct ItemSpec {
  ItemFormat format = ItemFormat::Format101;
  HeaderSpec header;
  std::vector<SectionSpec> sections;
  // Writes a wrong check byte, for items that must fall back to one raw section.
  bool badCheckByte = false;
};

// Builds one package item. Returns nothing and sets `error` when the layout cannot be laid out:
// too many sections or slots, a length beyond the field, a name or header text too long, a
// raw item with more than one section or a nonzero address, or a raw item whose last byte
// happens to be a valid check byte (the tool's reader would take it for a formatted item).
std::optional<std::vector<uint8_t>> BuildItem(const ItemSpec& layout, std::string& error);

// Deterministic section contents: the same seed and length always give the same bytes.
std::vector<uint8_t> SeededPattern(uint32_t seed, size_t length);

// Reads a number written in decimal or with a 0x prefix; false when it is not one or does not
// fit in 32 bits.
bool ParseUnsigned(const std::string& text, uint32_t& value);

// "0a 1B ff" or "0a1bff" -> bytes; false on odd length or a non-hex character.
bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes);

ItemFormat FormatFromText(const std::string& text, bool& ok);

}  // namespace velmar::pack
