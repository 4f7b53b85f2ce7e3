// The catalogue comparison: which databases and options an update loads, and whether the tool
// needs an SD card, from the server's lists and the tool's own report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/OptionList.h"
#include "server/VersionInfo.h"
#include "update/CatalogueComparison.h"

namespace velmar {
namespace {

std::string Option(int code, const std::string& ver, int sd = 0) {
  return "<option><code>" + std::to_string(code) + "</code><name>n</name><ver>" + ver +
         "</ver><sd>" + std::to_string(sd) + "</sd></option>";
}

OptionList Options(std::string reply) {
  OptionList list;
  list.Read(reply);
  return list;
}

DatabaseList Databases(std::string reply) {
  DatabaseList list;
  list.Read(reply);
  return list;
}

VersionInfo Version(int sd) {
  VersionInfo version;
  version.ReadVersion("<versionValid>1</versionValid><sd>" + std::to_string(sd) + "</sd>");
  return version;
}

// The second names begin differently from the first: a name whose prefix agrees with the
// first name of a pair is only ever compared with that one.
const char* kTwoPairs =
    "<zone>2</zone><cntry>33</cntry>"
    "<duo><dbs>EUR24-1-A</dbs><rel>MAP24-1-B</rel></duo>"
    "<duo><dbs>USA24-3-A</dbs><rel>CAN24-3-B</rel></duo>";

ToolReport Tool(std::vector<std::string> databases, std::vector<ToolOption> options = {}) {
  ToolReport report;
  report.databases = std::move(databases);
  report.options = std::move(options);
  return report;
}

// The tool's names carry a revision letter after the catalogue's base name. After the main
// software the comparison runs again on the same catalogue: each installed name counts once.
TEST(CatalogueComparison, InstalledPairsAreNotLoadedAndTheRestMakeTheToolOutOfDate) {
  const DatabaseList list = Databases(kTwoPairs);
  const ToolReport tool = Tool({"EUR24-1-A1", "MAP24-1-B1", "USA24-3-A1"});
  for (int run = 0; run < 2; ++run) {
    const auto result = CompareCatalogue(tool, list, OptionList{}, Version(0));
    EXPECT_FALSE(result.databases_up_to_date);
    EXPECT_EQ(result.marked_databases.PairAt(0).matches, 2);
    EXPECT_EQ(result.marked_databases.PairAt(0).load, 0);
    EXPECT_EQ(result.marked_databases.PairAt(1).matches, 1);
    EXPECT_EQ(result.marked_databases.PairAt(1).load, 1);
    EXPECT_EQ(result.marked_databases.FilesToLoad(), 2);
  }
  // The caller's list is not marked.
  EXPECT_EQ(list.PairAt(0).matches, 0);
  EXPECT_EQ(list.FilesToLoad(), 4);
}

TEST(CatalogueComparison, EveryPairInstalledOrNoDatabaseAtAllIsUpToDate) {
  const DatabaseList list = Databases(kTwoPairs);
  auto up_to_date = [&](std::vector<std::string> installed) {
    return CompareCatalogue(Tool(std::move(installed)), list, OptionList{}, Version(0))
        .databases_up_to_date;
  };
  EXPECT_TRUE(up_to_date({"EUR24-1-A1", "MAP24-1-B1", "USA24-3-A2", "CAN24-3-B2"}));
  // A tool that reports no database is not called out of date by its databases.
  EXPECT_TRUE(up_to_date({}));
  // A newer base name in the catalogue does not match the installed one.
  EXPECT_FALSE(up_to_date({"EUR24-1-A1", "MAP24-1-B1", "USA24-2-A1", "CAN24-2-B1"}));
}

TEST(CatalogueComparison, OnlyActiveOptionsWithAVersionAreSelectedInCatalogueOrder) {
  const OptionList options =
      Options(Option(7, "TPW01-1-A") + Option(1, "OBD10-2-A") + Option(2, "RKE03-2-B") +
              Option(3, "") + Option(4, "TPX02-1-C") + Option(1, "OBD10-2-A"));
  const ToolReport tool = Tool({}, {{1, 1, "OBD10-2-A"},
                                    {2, 0, "RKE03-2-B"},    // not active
                                    {3, 1, "X"},            // the catalogue gives no version
                                    {7, 1, "TPW01-1-A"}});  // option 4 is not in the tool
  const auto result = CompareCatalogue(tool, DatabaseList{}, options, Version(0));
  EXPECT_EQ(result.selection.Codes(), (std::vector<uint16_t>{7, 1}));
  EXPECT_TRUE(result.options_up_to_date);
  EXPECT_FALSE(result.sd_card_needed);
}

TEST(CatalogueComparison, AnyVersionDifferenceMakesTheOptionsOutOfDate) {
  const OptionList options = Options(Option(1, "OBD10-2-A") + Option(2, "RKE03-2-B"));
  // Letter case counts, and an option without a version in the tool differs too.
  for (const char* installed : {"OBD10-1-A", "obd10-2-a", ""}) {
    const auto result = CompareCatalogue(Tool({}, {{1, 1, installed}, {2, 1, "RKE03-2-B"}}),
                                         DatabaseList{}, options, Version(0));
    EXPECT_FALSE(result.options_up_to_date) << installed;
    EXPECT_EQ(result.selection.Count(), 2) << installed;
  }
}

TEST(CatalogueComparison, TheToolsOwnRulesForRepeatedOptionEntries) {
  // Active is the last entry with the code; the version is the first one's.
  const ToolReport tool = Tool({}, {{5, 0, "A"}, {5, 1, "B"}, {6, 1, "C"}, {6, 0, "D"}});
  EXPECT_TRUE(tool.IsOptionActive(5));
  EXPECT_FALSE(tool.IsOptionActive(6));
  EXPECT_FALSE(tool.IsOptionActive(9));
  EXPECT_EQ(tool.OptionVersion(5), "A");
  EXPECT_EQ(tool.OptionVersion(9), "");
  const auto result =
      CompareCatalogue(tool, DatabaseList{}, Options(Option(5, "B") + Option(6, "C")), Version(0));
  EXPECT_EQ(result.selection.Codes(), (std::vector<uint16_t>{5}));
  EXPECT_FALSE(result.options_up_to_date);
}

TEST(CatalogueComparison, AnSdCardIsNeededOnlyForASelectedSdOptionOnAnSdServer) {
  const OptionList options = Options(Option(1, "OBD10-2-A") + Option(7, "TPW01-1-A", 1));
  const ToolReport with_sd_option = Tool({}, {{1, 1, "OBD10-2-A"}, {7, 1, "TPW01-1-A"}});
  const ToolReport sd_option_off = Tool({}, {{1, 1, "OBD10-2-A"}, {7, 0, "TPW01-1-A"}});
  EXPECT_TRUE(CompareCatalogue(with_sd_option, DatabaseList{}, options, Version(1)).sd_card_needed);
  EXPECT_FALSE(
      CompareCatalogue(with_sd_option, DatabaseList{}, options, Version(0)).sd_card_needed);
  EXPECT_FALSE(CompareCatalogue(sd_option_off, DatabaseList{}, options, Version(1)).sd_card_needed);
}

}  // namespace
}  // namespace velmar
