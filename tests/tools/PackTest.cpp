// velmar-pack: the items it lays out, the archives it writes (checked with the real zip tools)
// and what the tool's reader makes of them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "ChildProcess.h"
#include "PackManifest.h"
#include "PackageBuilder.h"
#include "platform/ZipArchive.h"
#include "update/PackageImage.h"

namespace velmar {
namespace {

using pack::BuildItem;
using pack::ItemFormat;
using pack::ItemSpec;
using pack::SectionSpec;
using pack::SeededPattern;
using testing::RunCommand;
using testing::TempDir;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

// The bytes `unzip -p` gives for one item: an extraction nobody here wrote.
std::vector<uint8_t> UnzipItem(const std::string& zip, const std::string& item) {
  std::string out;
  EXPECT_EQ(RunCommand({"/usr/bin/unzip", "-p", zip, item}, &out), 0);
  return Bytes(out);
}

// Bytes [from, to) of an item in hex.
std::string Hex(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  std::string text;
  for (size_t i = from; i < to && i < bytes.size(); ++i) {
    char two[4];
    std::snprintf(two, sizeof two, "%s%02X", text.empty() ? "" : " ", bytes[i]);
    text += two;
  }
  return text;
}

SectionSpec Section(uint32_t address, uint8_t kind, std::vector<uint8_t> data,
                    std::string name = "") {
  SectionSpec s;
  s.address = address;
  s.kind = kind;
  s.data = std::move(data);
  s.name = std::move(name);
  return s;
}

TEST(PackBuilder, Format101LayoutByteByByte) {
  ItemSpec layout;
  layout.format = ItemFormat::Format101;
  layout.header.word1 = 0x0102;
  layout.header.word2 = 0x0304;
  layout.header.block1 = "HDR";
  layout.sections.push_back(Section(0x11223344, 9, {0xAA, 0xBB}, "APP"));
  std::string error;
  auto item = BuildItem(layout, error);
  ASSERT_TRUE(item) << error;
  ASSERT_EQ(item->size(), 41u + 30 + 2 + 1);
  const auto& b = *item;
  // Magic, format 101, the two header words little-endian, then the first header text.
  EXPECT_EQ(Hex(b, 0, 11), "56 14 65 00 02 01 04 03 48 44 52");
  // One section: kind 9, name "APP", address at descriptor offset 22, length at 26, data.
  EXPECT_EQ(b[40], 1);
  EXPECT_EQ(Hex(b, 42, 47), "09 41 50 50 00");
  EXPECT_EQ(Hex(b, 63, 68), "44 33 22 11 02");
  EXPECT_EQ(Hex(b, 71, 73), "AA BB");
  EXPECT_EQ(b.back(), PackageImage::CheckByte(b.data(), b.size() - 1));
}

TEST(PackBuilder, Format100FillsUnusedSlotsAsEmpty) {
  ItemSpec layout;
  layout.format = ItemFormat::Format100;
  layout.sections.push_back(Section(0x100, 2, SeededPattern(1, 0x10203)));
  SectionSpec empty;
  empty.empty = true;
  empty.kind = 1;
  layout.sections.push_back(empty);
  std::string error;
  auto item = BuildItem(layout, error);
  ASSERT_TRUE(item) << error;
  const auto& b = *item;
  EXPECT_EQ(Hex(b, 34, 38), "20 03 02 01");  // kind 2 in the high nibble, 24-bit length 0x010203
  EXPECT_EQ(b[42], 0x10);                    // the explicit empty slot keeps kind 1
  for (int slot = 2; slot < 8; ++slot) EXPECT_EQ(b[34 + slot * 8], 0xF0) << slot;
  EXPECT_EQ(b.size(), 98u + 0x10203 + 1);
}

TEST(PackBuilder, RefusesWhatCannotBeLaidOut) {
  const auto with = [](ItemFormat format, std::vector<SectionSpec> sections) {
    ItemSpec spec;
    spec.format = format;
    spec.sections = std::move(sections);
    return spec;
  };
  ItemSpec header;
  header.header.block2 = "1234567";  // 6-byte field
  const std::pair<ItemSpec, const char*> cases[] = {
      {with(ItemFormat::Format100, std::vector<SectionSpec>(9, Section(0, 2, {1}))),
       "8 descriptor slots"},
      {with(ItemFormat::Format101, {Section(0, 2, {1}, std::string(20, 'N'))}), ""},
      {with(ItemFormat::Format100, {Section(0, 15, {1})}), ""},
      {with(ItemFormat::Format100, {Section(0, 2, std::vector<uint8_t>(0x1000000))}), ""},
      {header, ""},
      {with(ItemFormat::Raw, {Section(0x10, 0, {1, 2, 4})}), ""},
      // 01 ^ 02 == 03, a valid check byte, so the reader would not see a raw item.
      {with(ItemFormat::Raw, {Section(0, 0, {1, 2, 3})}), "valid check byte"},
  };
  for (const auto& [spec, why] : cases) {
    std::string error;
    EXPECT_FALSE(BuildItem(spec, error)) << why;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
}

TEST(PackBuilder, EveryFormatParsesBackToTheSameSections) {
  ItemSpec f101;
  f101.format = ItemFormat::Format101;
  f101.sections = {Section(0x10000, 2, SeededPattern(11, 5000), "APPLICATION"),
                   Section(0x80000, 3, SeededPattern(12, 0), "EMPTY"),
                   Section(0x90000, 4, SeededPattern(13, 77), "NINETEEN-CHARACTERS")};
  ItemSpec f100;
  f100.format = ItemFormat::Format100;
  f100.sections = {Section(0x8000, 2, SeededPattern(21, 3000)),
                   Section(0x40000, 14, SeededPattern(22, 10))};
  for (const ItemSpec* layout : {&f101, &f100}) {
    std::string error;
    auto item = BuildItem(*layout, error);
    ASSERT_TRUE(item) << error;
    PackageImage image;
    ASSERT_EQ(image.Parse(*item), 0);
    EXPECT_FALSE(image.IsRaw());
    ASSERT_EQ(image.SectionCount(), layout->sections.size());
    EXPECT_EQ(image.TrailingBytes(), 0u);
    for (size_t i = 0; i < layout->sections.size(); ++i) {
      const ImageSection& got = image.Sections()[i];
      const SectionSpec& want = layout->sections[i];
      EXPECT_EQ(std::tie(got.index, got.address, got.kind, got.name, got.data),
                std::tie(i, want.address, want.kind, want.name, want.data));
    }
  }
}

// The archives, checked by the zip tools: deflated by default, stored on request, the item
// name kept with its backslash, the bytes those of the bare item. Errors write nothing.
TEST(PackProgram, ZipsThatUnzipListsAndExtractsByteForByteAndNothingOnAnError) {
  TempDir dir;
  const std::vector<std::string> sections = {"--format", "100", "--section",
                                             "address=0x200,kind=2,pattern=4:64", "--section",
                                             "empty", "--section", "address=0x400,kind=5,pattern=6:8"};
  const auto pack = [](std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.begin(), VELMAR_PACK_EXE);
    args.insert(args.end(), more.begin(), more.end());
    std::string errors;
    EXPECT_EQ(RunCommand(args, nullptr, &errors), 0) << errors;
  };
  pack(sections, {"--zip", dir.File("stored.zip"), "--item", "dir\\OPT1.bin", "--store"});
  pack(sections, {"--zip", dir.File("deflated.zip"), "--item", "1.10.bin"});
  pack(sections, {"--out", dir.File("item.bin")});
  const auto item = ReadBytes(dir.File("item.bin"));
  for (const auto& [zip, method] : {std::pair{"stored.zip", "stor"}, {"deflated.zip", "defX"}}) {
    std::string info;
    ASSERT_EQ(RunCommand({"/usr/bin/zipinfo", dir.File(zip)}, &info), 0);
    EXPECT_NE(info.find(method), std::string::npos) << info;
    EXPECT_NE(info.find(std::to_string(item.size())), std::string::npos) << info;
  }
  // unzip reads its argument as a pattern, where a backslash escapes.
  EXPECT_EQ(UnzipItem(dir.File("stored.zip"), "dir?OPT1.bin"), item);
  EXPECT_EQ(UnzipItem(dir.File("deflated.zip"), "1.10.bin"), item);
  PackageImage image;
  ASSERT_EQ(image.Parse(item), 0);
  ASSERT_EQ(image.SectionCount(), 2u);
  EXPECT_EQ(image.Sections()[1].index, 2);  // the empty slot keeps its position
  EXPECT_EQ(image.Sections()[1].address, 0x400u);
  EXPECT_EQ(image.Sections()[0].data, SeededPattern(4, 64));

  pack({"--format", "raw", "--section", "pattern=5:100", "--out", dir.File("raw.bin")}, {});
  ASSERT_EQ(image.Parse(ReadBytes(dir.File("raw.bin"))), 0);
  EXPECT_TRUE(image.IsRaw());

  std::string errors;
  EXPECT_EQ(RunCommand({VELMAR_PACK_EXE, "--format", "101", "--section",
                        "address=1,file=/nonexistent/part.bin", "--out", dir.File("x.bin")},
                       nullptr, &errors),
            1);
  EXPECT_NE(errors.find("cannot read /nonexistent/part.bin"), std::string::npos) << errors;
  EXPECT_EQ(RunCommand({VELMAR_PACK_EXE, "--format", "102"}, nullptr, &errors), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.bin")));
}

TEST(PackProgram, ManifestBuildsPackagesWithFilesRelativeToIt) {
  TempDir dir;
  std::ofstream(dir.File("part.bin"), std::ios::binary) << "0123456789";
  std::ofstream(dir.File("m.json")) << R"({"packages": [
      {"zip": "p.zip", "compression": "store", "items": [
        {"name": "README.TXT", "text": "hello"},
        {"name": "AB12-3-X.bin", "format": 101, "header": {"word1": "0x0203", "block1": "AB"},
         "sections": [{"address": "0x200000", "kind": 4, "name": "DB", "file": "part.bin"},
                      {"address": 16, "hex": "0a0b"}]}]}]})";
  std::ofstream(dir.File("bad.json")) << R"({"packages": [{"zip": "q.zip", "items": [{"name": "A",
      "format": 100, "sections": [{"address": "0xZZ", "pattern": {"seed": 1, "length": 1}}]}]}]})";
  std::string errors;
  ASSERT_EQ(RunCommand({VELMAR_PACK_EXE, "--manifest", dir.File("m.json"), "--out-dir", dir.File("out")},
                       nullptr, &errors),
            0)
      << errors;
  const std::string zip = dir.File("out/p.zip");
  EXPECT_EQ(UnzipItem(zip, "README.TXT"), Bytes("hello"));
  PackageImage image;
  ASSERT_EQ(image.Parse(UnzipItem(zip, "AB12-3-X.bin")), 0);
  EXPECT_EQ(image.HeaderFields().word1, 0x0203);
  ASSERT_EQ(image.SectionCount(), 2u);
  EXPECT_EQ(image.Sections()[0].data, Bytes("0123456789"));
  EXPECT_EQ(image.Sections()[0].address, 0x200000u);
  EXPECT_EQ(image.Sections()[1].address, 16u);
  // A broken manifest names what is wrong.
  EXPECT_EQ(RunCommand({VELMAR_PACK_EXE, "--manifest", dir.File("bad.json"), "--out-dir", dir.File("out")},
                       nullptr, &errors),
            1);
  EXPECT_NE(errors.find("q.zip, item A: section 0"), std::string::npos) << errors;
}

}  // namespace
}  // namespace velmar
