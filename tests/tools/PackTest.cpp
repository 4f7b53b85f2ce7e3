// velmar-pack: the items it lays out, as the tool's reader reads them back, and the archives it
// writes, checked with the real zip tools.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "PackManifest.h"
#include "PackageBuilder.h"
#include "platform/ZipArchive.h"
#include "support/UpdateTestSupport.h"
#include "update/PackageImage.h"

namespace velmar {
namespace {

using pack::BuildItem;
using pack::ItemFormat;
using pack::ItemSpec;
using pack::SectionSpec;
using pack::SeededPattern;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

// The bytes `unzip -p` gives for one item: an extraction nobody here wrote.
std::vector<uint8_t> UnzipItem(const std::string& zip, const std::string& item) {
  const auto unzip = RunProgram({"/usr/bin/unzip", "-p", zip, item});
  EXPECT_EQ(unzip.exit, 0);
  return Bytes(unzip.out);
}

SectionSpec Section(uint32_t address, uint8_t kind, std::vector<uint8_t> data,
                    std::string name = "") {
  return SectionSpec{address, kind, std::move(name), std::move(data)};
}

TEST(PackBuilder, RefusesWhatCannotBeLaidOut) {
  const auto with = [](ItemFormat format, std::vector<SectionSpec> sections) {
    ItemSpec item;
    item.format = format;
    item.sections = std::move(sections);
    return item;
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
  for (const auto& [item, why] : cases) {
    std::string error;
    EXPECT_FALSE(BuildItem(item, error)) << why;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
}

// The reader's own tests pin the format byte by byte, so what it reads back is what was laid out
// (a 24-bit format-100 length included).
TEST(PackBuilder, EveryFormatParsesBackToTheSameSections) {
  ItemSpec f101;
  f101.format = ItemFormat::Format101;
  f101.sections = {Section(0x10000, 2, SeededPattern(11, 5000), "APPLICATION"),
                   Section(0x80000, 3, SeededPattern(12, 0), "EMPTY"),
                   Section(0x90000, 4, SeededPattern(13, 77), "NINETEEN-CHARACTERS")};
  ItemSpec f100;
  f100.format = ItemFormat::Format100;
  f100.sections = {Section(0x8000, 2, SeededPattern(21, 3000)),
                   Section(0x40000, 14, SeededPattern(22, 0x10203))};
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
    const auto run = RunProgram(args);
    EXPECT_EQ(run.exit, 0) << run;
  };
  pack(sections, {"--zip", dir.File("stored.zip"), "--item", "dir\\OPT1.bin", "--store"});
  pack(sections, {"--zip", dir.File("deflated.zip"), "--item", "1.10.bin"});
  pack(sections, {"--out", dir.File("item.bin")});
  const auto item = ReadFileBytes(dir.File("item.bin"));
  for (const auto& [zip, method] : {std::pair{"stored.zip", "stor"}, {"deflated.zip", "defX"}}) {
    const std::string info = RunProgram({"/usr/bin/zipinfo", dir.File(zip)}).out;
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
  ASSERT_EQ(image.Parse(ReadFileBytes(dir.File("raw.bin"))), 0);
  EXPECT_TRUE(image.IsRaw());

  const auto missing = RunProgram({VELMAR_PACK_EXE, "--format", "101", "--section",
                                   "address=1,file=/nonexistent/part.bin", "--out", dir.File("x.bin")});
  EXPECT_EQ(missing.exit, 1);
  EXPECT_NE(missing.err.find("cannot read /nonexistent/part.bin"), std::string::npos) << missing;
  EXPECT_EQ(RunProgram({VELMAR_PACK_EXE, "--format", "102"}).exit, 1);
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
  const auto build = [&](const char* manifest) {
    return RunProgram({VELMAR_PACK_EXE, "--manifest", dir.File(manifest), "--out-dir", dir.File("out")});
  };
  const auto built = build("m.json");
  ASSERT_EQ(built.exit, 0) << built;
  const std::string zip = dir.File("out/p.zip");
  EXPECT_EQ(UnzipItem(zip, "README.TXT"), Bytes("hello"));
  PackageImage image;
  ASSERT_EQ(image.Parse(UnzipItem(zip, "AB12-3-X.bin")), 0);
  EXPECT_EQ(image.HeaderFields().word1, 0x0203);
  ASSERT_EQ(image.SectionCount(), 2u);
  EXPECT_EQ(std::tie(image.Sections()[0].address, image.Sections()[0].data, image.Sections()[1].address),
            std::make_tuple(0x200000u, Bytes("0123456789"), 16u));
  // A broken manifest names what is wrong.
  const auto broken = build("bad.json");
  EXPECT_EQ(broken.exit, 1);
  EXPECT_NE(broken.err.find("q.zip, item A: section 0"), std::string::npos) << broken;
}

}  // namespace
}  // namespace velmar
