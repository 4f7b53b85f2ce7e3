#include "PackageBuilder.h"

#include <cctype>
#include <cstdlib>

namespace velmar::pack {
namespace {

constexpr uint16_t kMagic = 0x1456;
constexpr size_t kFormat100Slots = 8;
constexpr size_t kFormat100DataOffset = 98;
constexpr size_t kFormat101DescriptorSize = 30;
constexpr size_t kMaxNameLength = 19;
constexpr uint8_t kEmptySlotKind = 15;

void PutLe16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool PutText(std::vector<uint8_t>& out, size_t at, size_t size, const std::string& text,
             const char* what, std::string& error) {
  if (text.size() > size) {
    error = std::string(what) + " \"" + text + "\" is longer than its " + std::to_string(size) +
            "-byte field";
    return false;
  }
  for (size_t i = 0; i < text.size(); ++i) out[at + i] = static_cast<uint8_t>(text[i]);
  return true;
}

bool PutHeader(std::vector<uint8_t>& out, uint16_t format, const HeaderSpec& h, size_t block1,
               std::string& error) {
  PutLe16(out, 0, kMagic);
  PutLe16(out, 2, format);
  PutLe16(out, 4, h.word1);
  PutLe16(out, 6, h.word2);
  return PutText(out, 8, block1, h.block1, "header block 1", error) &&
         PutText(out, 8 + block1, 6, h.block2, "header block 2", error) &&
         PutText(out, 8 + block1 + 6, 6, h.block3, "header block 3", error);
}

void AppendCheckByte(std::vector<uint8_t>& item, bool bad) {
  uint8_t check = 0;
  for (uint8_t b : item) check ^= b;
  item.push_back(bad ? static_cast<uint8_t>(check ^ 0x5A) : check);
}

std::optional<std::vector<uint8_t>> BuildFormat100(const ItemSpec& layout, std::string& error) {
  if (layout.sections.size() > kFormat100Slots) {
    error = "format 100 has 8 descriptor slots, " + std::to_string(layout.sections.size()) +
            " sections given";
    return std::nullopt;
  }
  std::vector<uint8_t> item(kFormat100DataOffset, 0);
  if (!PutHeader(item, 100, layout.header, 10, error)) return std::nullopt;
  for (size_t slot = 0; slot < kFormat100Slots; ++slot) {
    const size_t at = 34 + slot * 8;
    if (slot >= layout.sections.size() || layout.sections[slot].empty) {
      uint8_t kind = kEmptySlotKind;
      if (slot < layout.sections.size() && layout.sections[slot].kind == 1) kind = 1;
      item[at] = static_cast<uint8_t>(kind << 4);
      continue;
    }
    const SectionSpec& s = layout.sections[slot];
    if (s.kind > 15 || s.kind == 1 || s.kind == 15) {
      error = "format 100 section kind must be 0..15 and not 1 or 15 (those mark empty slots)";
      return std::nullopt;
    }
    if (s.data.size() > 0xFFFFFF) {
      error = "format 100 section of " + std::to_string(s.data.size()) +
              " bytes exceeds the 24-bit length field";
      return std::nullopt;
    }
    if (!s.name.empty()) {
      error = "format 100 sections carry no name";
      return std::nullopt;
    }
    const uint32_t length = static_cast<uint32_t>(s.data.size());
    item[at] = static_cast<uint8_t>(s.kind << 4);
    item[at + 1] = static_cast<uint8_t>(length);
    item[at + 2] = static_cast<uint8_t>(length >> 8);
    item[at + 3] = static_cast<uint8_t>(length >> 16);
    PutLe32(item, at + 4, s.address);
  }
  for (const SectionSpec& s : layout.sections) {
    if (!s.empty) item.insert(item.end(), s.data.begin(), s.data.end());
  }
  AppendCheckByte(item, layout.badCheckByte);
  return item;
}

std::optional<std::vector<uint8_t>> BuildFormat101(const ItemSpec& layout, std::string& error) {
  if (layout.sections.size() > 255) {
    error = "format 101 holds at most 255 sections";
    return std::nullopt;
  }
  const size_t count = layout.sections.size();
  std::vector<uint8_t> item(41 + count * kFormat101DescriptorSize, 0);
  if (!PutHeader(item, 101, layout.header, 20, error)) return std::nullopt;
  item[40] = static_cast<uint8_t>(count);
  for (size_t i = 0; i < count; ++i) {
    const SectionSpec& s = layout.sections[i];
    if (s.empty) {
      error = "format 101 has no empty slots";
      return std::nullopt;
    }
    if (s.name.size() > kMaxNameLength) {
      error = "section name \"" + s.name + "\" is longer than 19 characters";
      return std::nullopt;
    }
    if (s.data.size() > UINT32_MAX) {
      error = "section too large";
      return std::nullopt;
    }
    const size_t at = 41 + i * kFormat101DescriptorSize;
    item[at + 1] = s.kind;
    for (size_t c = 0; c < s.name.size(); ++c) item[at + 2 + c] = static_cast<uint8_t>(s.name[c]);
    PutLe32(item, at + 22, s.address);
    PutLe32(item, at + 26, static_cast<uint32_t>(s.data.size()));
  }
  for (const SectionSpec& s : layout.sections) item.insert(item.end(), s.data.begin(), s.data.end());
  AppendCheckByte(item, layout.badCheckByte);
  return item;
}

std::optional<std::vector<uint8_t>> BuildRaw(const ItemSpec& layout, std::string& error) {
  if (layout.sections.size() != 1 || layout.sections[0].empty) {
    error = "a raw item is exactly one section";
    return std::nullopt;
  }
  const SectionSpec& s = layout.sections[0];
  if (s.address != 0) {
    error = "a raw item is always written at address 0";
    return std::nullopt;
  }
  if (s.data.empty()) {
    error = "a raw item cannot be empty";
    return std::nullopt;
  }
  uint8_t check = 0;
  for (size_t i = 0; i + 1 < s.data.size(); ++i) check ^= s.data[i];
  if (check == s.data.back()) {
    error = "the raw data ends in a valid check byte, so the tool would read it as a "
            "formatted item; change the data (e.g. another pattern seed or length)";
    return std::nullopt;
  }
  return s.data;
}

}  // namespace

std::optional<std::vector<uint8_t>> BuildItem(const ItemSpec& layout, std::string& error) {
  error.clear();
  switch (layout.format) {
    case ItemFormat::Format100:
      return BuildFormat100(layout, error);
    case ItemFormat::Format101:
      return BuildFormat101(layout, error);
    case ItemFormat::Raw:
      return BuildRaw(layout, error);
  }
  error = "unknown format";
  return std::nullopt;
}

std::vector<uint8_t> SeededPattern(uint32_t seed, size_t length) {
  // xorshift32 from a scrambled seed: cheap, portable and never stuck at zero.
  uint32_t state = seed * 2654435761u + 0x9E3779B9u;
  if (state == 0) state = 0x6D2B79F5u;
  std::vector<uint8_t> out(length);
  for (size_t i = 0; i < length; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    out[i] = static_cast<uint8_t>(state >> 24);
  }
  return out;
}

bool ParseUnsigned(const std::string& text, uint32_t& value) {
  if (text.empty()) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const size_t start = hex ? 2 : 0;
  uint64_t v = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int digit;
    if (std::isdigit(c)) {
      digit = c - '0';
    } else if (hex && std::isxdigit(c)) {
      digit = std::tolower(c) - 'a' + 10;
    } else {
      return false;
    }
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (v > UINT32_MAX) return false;
  }
  value = static_cast<uint32_t>(v);
  return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes) {
  bytes.clear();
  int high = -1;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (std::isspace(c)) continue;
    if (!std::isxdigit(c)) return false;
    const int nibble = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  return high < 0;
}

ItemFormat FormatFromText(const std::string& text, bool& ok) {
  ok = true;
  if (text == "100") return ItemFormat::Format100;
  if (text == "101") return ItemFormat::Format101;
  if (text == "raw") return ItemFormat::Raw;
  ok = false;
  return ItemFormat::Raw;
}

}  // namespace velmar::pack
