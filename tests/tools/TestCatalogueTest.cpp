// The test catalogue's odd packages give the outcomes its README promises, through the same
// zip reader and item selection the download uses.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "Catalogue.h"
#include "platform/ZipArchive.h"
#include "update/PackageImage.h"

namespace velmar {
namespace {

std::vector<uint8_t> PackageBytes(const std::string& name) {
  serversim::Catalogue catalogue;
  std::string error;
  EXPECT_TRUE(catalogue.Load(VELMAR_TEST_CATALOG_DIR, error)) << error;
  std::ifstream in(catalogue.PackagePath(name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Outcome {
  int open = 0;
  ItemSelection selection = ItemSelection::NoArchive;
  std::string matched;
  PackageImage image;
};

Outcome Select(const std::string& package) {
  Outcome o;
  const auto bytes = PackageBytes(package);
  EXPECT_FALSE(bytes.empty()) << package;
  ZipArchive archive;
  o.open = archive.OpenBuffer(std::span<const uint8_t>(bytes));
  o.selection = SelectPackageItem(archive, package, o.image, o.matched);
  return o;
}

TEST(TestCatalogue, EachOddPackageEndsAsDescribed) {
  Outcome raw = Select("RAW1.00");
  EXPECT_EQ(raw.selection, ItemSelection::Parsed);
  EXPECT_TRUE(raw.image.IsRaw());
  ASSERT_EQ(raw.image.SectionCount(), 1u);
  EXPECT_EQ(raw.image.Sections()[0].address, 0u);
  EXPECT_EQ(raw.image.Sections()[0].length, 100u);

  Outcome empty = Select("EMPTY1.00");
  EXPECT_EQ(empty.selection, ItemSelection::Parsed);
  EXPECT_EQ(empty.image.SectionCount(), 0u);

  EXPECT_EQ(Select("NOMATCH1.00").selection, ItemSelection::NoMatchingItem);
  EXPECT_EQ(Select("BAD1.00").selection, ItemSelection::ParseFailed);

  Outcome junk = Select("JUNK1.00");
  EXPECT_EQ(junk.open, -1);
  EXPECT_EQ(junk.selection, ItemSelection::NoArchive);

  Outcome two = Select("TWO1.00");
  EXPECT_EQ(two.selection, ItemSelection::ParseFailed);
  EXPECT_EQ(two.matched, "TWO1.00-a.bin");
}

TEST(TestCatalogue, ThePlainPackagesParse) {
  serversim::Catalogue catalogue;
  std::string error;
  ASSERT_TRUE(catalogue.Load(VELMAR_TEST_CATALOG_DIR, error)) << error;
  const serversim::ToolEntry* tool = catalogue.FindTool("ANY-SERIAL");
  ASSERT_NE(tool, nullptr);
  ASSERT_TRUE(tool->software);

  std::ifstream in(catalogue.FilePath(tool->software->package), std::ios::binary);
  const std::vector<uint8_t> main((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  ZipArchive archive;
  ASSERT_EQ(archive.OpenBuffer(std::span<const uint8_t>(main)), 0);
  PackageImage image;
  std::string matched;
  ASSERT_EQ(SelectPackageItem(archive, "1.00", image, matched), ItemSelection::Parsed);
  ASSERT_EQ(image.SectionCount(), 3u);
  EXPECT_EQ(image.Sections()[1].length, 0u);  // a zero-length section for the writer to skip
  EXPECT_EQ(image.TotalLength(), 677u);

  for (const char* name : {"DBA1-1-A", "DBA1-1-B", "OPT1-1-A"}) {
    Outcome o = Select(name);
    EXPECT_EQ(o.selection, ItemSelection::Parsed) << name;
    EXPECT_GT(o.image.TotalLength(), 0u) << name;
  }
  EXPECT_EQ(Select("OPT1-1-A").image.Sections()[1].index, 2);
}

}  // namespace
}  // namespace velmar
