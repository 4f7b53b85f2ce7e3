// The zip reader over libzip and the choice of the archive item that belongs to a package.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "UpdateJobs.h"
#include "platform/ZipArchive.h"
#include "update/PackageImage.h"

namespace velmar {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

using testing::FindSignature;
using testing::Format101Item;
using testing::PutLe32;
using testing::ScratchDir;
using testing::ZipOf;

TEST(ZipArchive, OpensNamesAndExtractsItemsOfARealArchive) {
  ScratchDir dir;
  const Bytes a = Format101Item(0x1000, 3000, 5), b = {'h', 'i'};
  const Bytes zip = ZipOf(dir, {{"folder\\A.bin", a}, {"B.txt", b}, {"empty", {}}});
  ZipArchive archive;
  ASSERT_EQ(archive.OpenBuffer(std::span<const uint8_t>(zip)), 0);
  ASSERT_EQ(archive.ItemCount(), 3);
  ZipItemInfo info;
  ASSERT_EQ(archive.ItemInfo(0, info), 0);
  EXPECT_EQ(info.name, "folder\\A.bin");
  EXPECT_EQ(info.uncompressedSize, a.size());
  EXPECT_EQ(ZipItemBaseName(info.name), "A.bin");
  Bytes out;
  ASSERT_EQ(archive.ExtractItem(0, out), 0);
  EXPECT_EQ(out, a);
  ASSERT_EQ(archive.ExtractItem(2, out), 0);
  EXPECT_TRUE(out.empty());
  // Into a caller buffer: exactly big enough works, one byte less is refused.
  uint8_t buffer[2];
  size_t written = 0;
  EXPECT_EQ(archive.ExtractItem(1, buffer, 2, written), 0);
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(archive.ExtractItem(1, buffer, 1, written), -1);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(archive.ItemInfo(3, info), -1);
  EXPECT_EQ(archive.ItemInfo(-1, info), -1);
  EXPECT_EQ(archive.ExtractItem(3, out), -1);
  archive.Close();
  EXPECT_EQ(archive.ItemCount(), 0);
  EXPECT_EQ(archive.ItemInfo(0, info), -1);
}

// Ordinary zip tools store a folder's items under "folder/" and the folder itself as an item.
TEST(ZipArchive, APackageTheZipToolWroteWithAFolderIsAccepted) {
  ScratchDir dir;
  fs::create_directory(dir.File("soft"));
  const Bytes item = Format101Item(0x2000, 700, 3);
  std::ofstream(dir.File("soft/RLN1.20.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(item.data()), static_cast<std::streamsize>(item.size()));
  const std::string cmd = "cd '" + dir.Path() + "' && /usr/bin/zip -q -r tool.zip soft";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ZipArchive archive;
  ASSERT_EQ(archive.OpenBuffer(testing::ReadFileBytes(dir.File("tool.zip"))), 0);  // owning
  ASSERT_EQ(archive.ItemCount(), 2);
  PackageImage image;
  std::string matched;
  EXPECT_EQ(SelectPackageItem(archive, "RLN1.20", image, matched), ItemSelection::Parsed);
  EXPECT_EQ(matched, "RLN1.20.bin");
  for (const auto& [name, base] : std::vector<std::pair<std::string, std::string>>{
           {"a/b\\c.bin", "c.bin"}, {"a\\b/c.bin", "c.bin"}, {"soft/", ""}, {"plain", "plain"}})
    EXPECT_EQ(ZipItemBaseName(name), base) << name;
}

// Not an archive, a cut one; items with an absurd announced size (refused before any
// allocation), a damaged stored byte, a directory announcing fewer bytes than the item holds,
// a password (real zip tool).
TEST(ZipArchive, RefusesWhatItCannotReadWhole) {
  ZipArchive archive;
  EXPECT_EQ(archive.OpenBuffer(std::span<const uint8_t>()), -1);
  const Bytes junk = {'P', 'K', 3, 4, 0, 0, 0, 0};
  EXPECT_EQ(archive.OpenBuffer(std::span<const uint8_t>(junk)), -1);
  EXPECT_FALSE(archive.IsOpen());
  EXPECT_EQ(archive.ItemCount(), 0);
  ScratchDir dir;
  Bytes cut = ZipOf(dir, {{"A", {1, 2, 3}}});
  cut.resize(cut.size() - 10);  // the central directory's end is cut
  EXPECT_EQ(archive.OpenBuffer(std::move(cut)), -1);

  const Bytes payload = Format101Item(0, 200, 9);
  Bytes absurd = ZipOf(dir, {{"A.bin", payload}}, true), damaged = absurd, shrunk = absurd;
  const size_t central = FindSignature(absurd, 0x02014b50), local = FindSignature(absurd, 0x04034b50);
  ASSERT_NE(central, std::string::npos);
  ASSERT_NE(local, std::string::npos);
  PutLe32(absurd, central + 24, 0xFFFFFFF0u);  // uncompressed size in the central directory
  const size_t data = local + 30 + (damaged[local + 26] | (damaged[local + 27] << 8)) +
                      (damaged[local + 28] | (damaged[local + 29] << 8));
  damaged[data + 10] ^= 0xFF;  // the CRC fails
  PutLe32(shrunk, central + 24, 100);
  PutLe32(shrunk, central + 20, 100);
  std::ofstream(dir.File("A.bin"), std::ios::binary) << "secret section";
  const std::string cmd = "cd '" + dir.Path() + "' && /usr/bin/zip -q -P pw locked.zip A.bin";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const Bytes& zip : {absurd, damaged, shrunk, testing::ReadFileBytes(dir.File("locked.zip"))}) {
    ASSERT_EQ(archive.OpenBuffer(std::span<const uint8_t>(zip)), 0);
    Bytes out{1};
    EXPECT_EQ(archive.ExtractItem(0, out), -1);
    EXPECT_TRUE(out.empty());
  }
  ASSERT_EQ(archive.OpenBuffer(std::span<const uint8_t>(absurd)), 0);
  ZipItemInfo info;
  ASSERT_EQ(archive.ItemInfo(0, info), 0);
  EXPECT_EQ(info.uncompressedSize, 0xFFFFFFF0u);
  Bytes out;
  EXPECT_EQ(archive.ExtractItem(0, out), -1);
  EXPECT_EQ(out.capacity(), 0u);
}

class ItemSelectionTest : public ::testing::Test {
 protected:
  ItemSelection Select(const std::vector<pack::ZipItem>& items, std::string_view prefix) {
    zip_ = ZipOf(dir_, items);
    EXPECT_EQ(archive_.OpenBuffer(std::span<const uint8_t>(zip_)), 0);
    return SelectPackageItemByPrefix(archive_, prefix, image_, matched_);
  }

  ScratchDir dir_;
  Bytes zip_;
  ZipArchive archive_;
  PackageImage image_;
  std::string matched_;
};

TEST_F(ItemSelectionTest, MatchingIsCaseSensitive) {
  EXPECT_EQ(Select({{"eu24.bin", Format101Item(0, 10)}, {"EU\\x.bin", Format101Item(0, 10)}}, "EU"),
            ItemSelection::NoMatchingItem);
  EXPECT_TRUE(matched_.empty());
  EXPECT_EQ(image_.SectionCount(), 0u);
}

TEST_F(ItemSelectionTest, AnItemThatFailsToExtractEndsTheSelection) {
  zip_ = ZipOf(dir_, {{"OBD2.05.bin", Format101Item(0, 100)}, {"OBD2.06.bin", Format101Item(0, 100)}}, true);
  const size_t central = FindSignature(zip_, 0x02014b50);
  PutLe32(zip_, central + 24, 0xF0000000u);
  ASSERT_EQ(archive_.OpenBuffer(std::span<const uint8_t>(zip_)), 0);
  EXPECT_EQ(SelectPackageItem(archive_, "OBD2.05", image_, matched_), ItemSelection::ExtractFailed);
  EXPECT_EQ(matched_, "OBD2.05.bin");
}

// The package is asked for by name (or, for the main software, by the tool's version); the
// items are matched on that text's prefix.
TEST_F(ItemSelectionTest, ByThePrefixOfThePackageName) {
  zip_ = ZipOf(dir_, {{"README.TXT", {'r', 'e'}},
                    {"RLN1.20.bin", Format101Item(0x300000, 16)},
                    {"1.10.bin", Format101Item(0x10000, 16)},
                    {"12AB.bin", Format101Item(0x20000, 16)}});
  ASSERT_EQ(archive_.OpenBuffer(std::span<const uint8_t>(zip_)), 0);
  EXPECT_EQ(SelectPackageItem(archive_, "1.00", image_, matched_), ItemSelection::Parsed);
  EXPECT_EQ(matched_, "1.10.bin");  // prefix "1."
  EXPECT_EQ(SelectPackageItem(archive_, "RLN1.21", image_, matched_), ItemSelection::Parsed);
  EXPECT_EQ(matched_, "RLN1.20.bin");  // prefix "RLN": the version digits do not take part
  EXPECT_EQ(SelectPackageItem(archive_, "12XY", image_, matched_), ItemSelection::Parsed);
  EXPECT_EQ(matched_, "1.10.bin");  // prefix "1": the first item beginning with it
  EXPECT_EQ(SelectPackageItem(archive_, "LANG", image_, matched_), ItemSelection::Parsed);
  EXPECT_EQ(matched_, "README.TXT");  // no digit, no prefix: the first item
  EXPECT_EQ(SelectPackageItem(archive_, "EU24-03-A", image_, matched_),
            ItemSelection::NoMatchingItem);
  ZipArchive closed;
  EXPECT_EQ(SelectPackageItem(closed, "1.00", image_, matched_), ItemSelection::NoArchive);
}

}  // namespace
}  // namespace velmar
