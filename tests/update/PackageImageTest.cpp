// The package item format, written byte by byte here rather than with the package builder, so
// that reader and builder cannot share a mistake.
#include <gtest/gtest.h>

#include <tuple>

#include "update/PackageImage.h"

namespace velmar {
namespace {

using Bytes = std::vector<uint8_t>;

void PutLe16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void AppendCheck(Bytes& b) {
  uint8_t x = 0;
  for (uint8_t v : b) x ^= v;
  b.push_back(x);
}

Bytes Checked(Bytes b) {
  AppendCheck(b);
  return b;
}

Bytes Cut(Bytes b, size_t n = 1) {
  b.resize(b.size() - n);
  return b;
}

// A format-100 item with every slot empty (kind 15) and no data, without its check byte.
Bytes Format100Head() {
  Bytes b(98, 0);
  PutLe16(b, 0, 0x1456);
  PutLe16(b, 2, 100);
  for (int slot = 0; slot < 8; ++slot) b[34 + slot * 8] = 0xF0;
  return b;
}

void SetSlot100(Bytes& b, int slot, uint8_t kindByte, uint32_t length, uint32_t address) {
  const size_t at = 34 + slot * 8;
  b[at] = kindByte;
  b[at + 1] = static_cast<uint8_t>(length);
  b[at + 2] = static_cast<uint8_t>(length >> 8);
  b[at + 3] = static_cast<uint8_t>(length >> 16);
  PutLe32(b, at + 4, address);
}

// A format-101 item head with `count` zeroed descriptors, without data and check byte.
Bytes Format101Head(uint8_t count) {
  Bytes b(41 + 30 * count, 0);
  PutLe16(b, 0, 0x1456);
  PutLe16(b, 2, 101);
  b[40] = count;
  return b;
}

void SetDescriptor101(Bytes& b, int i, uint8_t kind, const std::string& name, uint32_t address,
                      uint32_t length) {
  const size_t at = 41 + i * 30;
  b[at] = 0xEE;  // not read
  b[at + 1] = kind;
  for (size_t c = 0; c < name.size() && c < 20; ++c) b[at + 2 + c] = static_cast<uint8_t>(name[c]);
  PutLe32(b, at + 22, address);
  PutLe32(b, at + 26, length);
}

Bytes Seq(size_t n, uint8_t start) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(start + i);
  return b;
}

// Used slots in descriptor order: kind in the high nibble, kind 0 used, kind 1 empty (its
// length is not data), lengths of 24 bits, leftover bytes tolerated and counted.
TEST(PackageImageFormat100, SectionsFromUsedSlotsInDescriptorOrder) {
  Bytes b = Format100Head();
  PutLe16(b, 4, 0xBEEF);
  PutLe16(b, 6, 0x0102);
  for (int i = 0; i < 10; ++i) b[8 + i] = static_cast<uint8_t>('a' + i);
  b[18] = 0x77;
  b[24] = 0x88;
  SetSlot100(b, 1, 0x2C, 3, 0x00010000);
  SetSlot100(b, 3, 0x10, 99, 0xFFFFFFFF);
  SetSlot100(b, 5, 0x00, 2, 0x80000001);
  SetSlot100(b, 7, 0x30, 0x010000, 0);
  const Bytes d1 = Seq(3, 0x10), d5 = Seq(2, 0x20), d7 = Seq(0x10000, 0);
  for (const Bytes* d : {&d1, &d5, &d7}) b.insert(b.end(), d->begin(), d->end());
  b.insert(b.end(), {9, 8});
  AppendCheck(b);

  PackageImage image;
  ASSERT_EQ(image.Parse(b), 0);
  EXPECT_EQ(image.Format(), 100);
  EXPECT_FALSE(image.IsRaw());
  ASSERT_EQ(image.SectionCount(), 3u);
  const ImageSection& s1 = image.Sections()[0];
  EXPECT_EQ(std::tie(s1.index, s1.kind, s1.address, s1.length), std::make_tuple(1, 2, 0x00010000u, 3u));
  EXPECT_EQ(s1.data, d1);
  EXPECT_TRUE(s1.name.empty());
  const ImageSection& s5 = image.Sections()[1];
  EXPECT_EQ(std::tie(s5.index, s5.kind, s5.address), std::make_tuple(5, 0, 0x80000001u));
  EXPECT_EQ(s5.data, d5);
  EXPECT_EQ(image.Sections()[2].data, d7);
  EXPECT_EQ(image.TotalLength(), 5u + 0x10000u);
  EXPECT_EQ(image.TrailingBytes(), 2u);
  const auto& head = image.HeaderFields();
  EXPECT_EQ(std::tie(head.firstWord, head.word1, head.word2, head.block2[0], head.block3[0]),
            std::make_tuple(0x00641456u, 0xBEEF, 0x0102, 0x77, 0x88));
  EXPECT_EQ(head.block1, Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}));
}

TEST(PackageImageFormat101, DescriptorsNamesAndData) {
  Bytes b = Format101Head(3);
  SetDescriptor101(b, 0, 7, "APPLICATION", 0x10000, 4);
  SetDescriptor101(b, 1, 0, "", 0x20000, 0);  // a section of length 0 is kept
  SetDescriptor101(b, 2, 255, std::string(20, 'Z'), 0xFFFFFFF0, 2);  // no terminator in 20 bytes
  const Bytes d0 = Seq(4, 0x40), d2 = Seq(2, 0x50);
  b.insert(b.end(), d0.begin(), d0.end());
  b.insert(b.end(), d2.begin(), d2.end());
  AppendCheck(b);
  PackageImage image;
  ASSERT_EQ(image.Parse(b), 0);
  EXPECT_EQ(image.Format(), 101);
  ASSERT_EQ(image.SectionCount(), 3u);
  const auto fields = [](const ImageSection& s) {
    return std::tie(s.index, s.kind, s.name, s.address, s.length, s.data);
  };
  EXPECT_EQ(fields(image.Sections()[0]), std::make_tuple(0, 7, "APPLICATION", 0x10000u, 4u, d0));
  EXPECT_EQ(fields(image.Sections()[1]), std::make_tuple(1, 0, "", 0x20000u, 0u, Bytes{}));
  EXPECT_EQ(fields(image.Sections()[2]), std::make_tuple(2, 255, std::string(19, 'Z'), 0xFFFFFFF0u, 2u, d2));
}

TEST(PackageImage, ItemsThatLieAboutTheirSizeOrKindAreInvalid) {
  auto slots = [](std::vector<std::pair<uint32_t, size_t>> used, Bytes data) {
    Bytes b = Format100Head();
    for (size_t i = 0; i < used.size(); ++i)
      SetSlot100(b, static_cast<int>(used[i].second), 0x20, used[i].first, 0);
    b.insert(b.end(), data.begin(), data.end());
    return Checked(b);
  };
  auto described = [](uint32_t length) {
    Bytes b = Format101Head(1);
    SetDescriptor101(b, 0, 1, "X", 0, length);
    b.insert(b.end(), {1, 2, 3, 4});
    return Checked(b);
  };
  Bytes absurd = Format101Head(1);
  absurd[40] = 255;  // a count of 255 with room for one descriptor
  Bytes wrong_magic = Format100Head(), format102 = Format100Head();
  PutLe16(wrong_magic, 0, 0x5614);  // the magic big-endian
  PutLe16(format102, 2, 102);
  const std::pair<const char*, Bytes> cases[] = {
      {"format 100, descriptors cut", Checked(Cut(Format100Head()))},
      {"format 100, one data byte short", slots({{4, 0}}, {1, 2, 3})},
      {"format 100, sections fit alone but not together", slots({{3, 0}, {3, 1}}, {1, 2, 3, 4, 5})},
      {"format 100, 24-bit length beyond the item", slots({{0xFFFFFF, 7}}, {})},
      {"format 101, count cut", Checked(Cut(Format101Head(0)))},
      {"format 101, count beyond the item", Checked(absurd)},
      {"format 101, descriptors one byte short", Checked(Cut(Format101Head(2)))},
      {"format 101, length 5 of 4", described(5)},
      {"format 101, length 0xFFFFFFFF", described(0xFFFFFFFFu)},
      {"wrong magic", Checked(wrong_magic)},
      {"unknown format", Checked(format102)},
      {"too short for magic and format", Checked({0x56, 0x14})},
      {"empty", {}},
      // One zero byte: the exclusive-or of nothing is 0, so it "matches" and lacks the magic.
      {"one zero byte", {0x00}},
  };
  PackageImage image;
  for (const auto& [name, item] : cases) {
    EXPECT_EQ(image.Parse(item), -1) << name;
    EXPECT_EQ(image.SectionCount(), 0u) << name;
  }
  EXPECT_EQ(image.Parse(nullptr, 0), -1);
  // Valid edges: no sections at all, descriptors that end exactly at the check byte, every
  // slot of format 100 empty.
  Bytes empty_slots = Format100Head();
  for (int slot = 0; slot < 8; ++slot) empty_slots[34 + slot * 8] = slot % 2 ? 0x10 : 0xF7;
  for (const Bytes& item : {Format101Head(0), Format101Head(2), empty_slots}) {
    EXPECT_EQ(image.Parse(Checked(item)), 0);
    EXPECT_TRUE(image.IsParsed());
  }
  EXPECT_EQ(image.TotalLength(), 0u);
  // A check byte that does not match makes one raw section of the whole item (the package
  // tool's tests build those); one byte has nothing to match.
  ASSERT_EQ(image.Parse(Bytes{0x42}), 0);
  EXPECT_TRUE(image.IsRaw());
  EXPECT_EQ(image.Sections()[0].data, Bytes{0x42});
}

TEST(PackageImage, AFailedParseLeavesNothingOfTheEarlierImage) {
  Bytes good = Format101Head(1);
  SetDescriptor101(good, 0, 1, "A", 0, 1);
  good.push_back(9);
  AppendCheck(good);
  PackageImage image;
  ASSERT_EQ(image.Parse(good), 0);
  ASSERT_EQ(image.SectionCount(), 1u);
  Bytes bad = Format101Head(5);
  AppendCheck(bad);
  bad[40] = 6;
  bad.back() ^= 6 ^ 5;  // keep the check byte valid with the larger count
  EXPECT_EQ(image.Parse(bad), -1);
  EXPECT_EQ(image.SectionCount(), 0u);
  EXPECT_FALSE(image.IsParsed());
  EXPECT_EQ(image.HeaderFields().firstWord, 0u);
}

}  // namespace
}  // namespace velmar
