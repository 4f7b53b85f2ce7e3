#include <gtest/gtest.h>

#include <tuple>

#include <cstring>
#include <sstream>
#include <string>

#include "server/Catalogue.h"
#include "server/ReplyFields.h"

namespace velmar {
namespace {

// Every field of a record on one line, so a whole record is compared at once.
std::string Fields(const VersionInfo& v) {
  std::ostringstream out;
  out << v.Texte() << '|' << v.Lien() << '|' << v.NewVersion() << '|' << v.ServerMsg() << '|'
      << v.Usb() << '|' << v.NewVersionAvailable() << '|' << v.Sd() << '|' << v.Rs() << '|'
      << v.UsbPoll() << '|' << v.UsbWait();
  return out.str();
}

std::string Fields(const DatabasePair& p) {
  return std::string(p.dbs) + '|' + p.rel + '|' + std::to_string(p.matches) + '|' + std::to_string(p.load);
}

std::string Fields(const OptionRecord& r) {
  std::ostringstream out;
  out << r.code << '|' << r.name << '|' << r.desc << '|' << r.base << '|' << r.sigle << '|' << r.ver
      << '|' << int{r.set} << '|' << int{r.visible} << '|' << int{r.edit} << '|' << int{r.sd};
  return out.str();
}

TEST(VersionInfo, ReadsEveryFieldAndDefaultsForMissingOnes) {
  VersionInfo info;
  info.ReadVersion(
      "<texte>hello</texte><lien>http://h/x.php</lien><versionValid>0</versionValid>"
      "<newVersion>V2.10</newVersion><serverMsg>msg</serverMsg><usb>X-15-1</usb>"
      "<sd>1</sd><rs>4660</rs>");
  EXPECT_EQ(Fields(info), "hello|http://h/x.php|V2.10|msg|X-15-1|1|1|4660|1|15");
  info.ReadVersion("<rs>65537</rs><sd>-1</sd>");  // the reset code is cut to sixteen bits
  EXPECT_EQ(Fields(info), "|||||0|4294967295|1|0|20");
  info.ReadVersion("");  // an empty reply clears the record
  EXPECT_EQ(Fields(info), "|||||0|0|0|0|20");
}

TEST(VersionInfo, DerivesUsbSettings) {
  const std::tuple<const char*, int, int> cases[] = {
      {"1", 0, 20},                     // a single character, even a digit, changes nothing
      {"N-30", 0, 30},                  // last character "0"
      {"X-15-1", 1, 15},                // the number after the first dash
      {"AB", 0, 20},                    // no dash keeps the wait
      {"A1", 1, 20},     {"X-", 0, 0},  // ending in a dash: nothing after it reads as 0
      {"X-15-", 0, 15},
  };
  for (const auto& [usb, poll, wait] : cases) {
    VersionInfo info;
    info.ReadVersion(std::string("<usb>") + usb + "</usb>");
    EXPECT_EQ(info.UsbPoll(), poll) << usb;
    EXPECT_EQ(info.UsbWait(), wait) << usb;
  }
}

TEST(VersionInfo, OnlyASingleZeroMeansANewVersion) {
  for (const char* value : {"00", "", "1", " 0", "0 "}) {
    VersionInfo info;
    info.ReadVersion(std::string("<versionValid>") + value + "</versionValid>");
    EXPECT_FALSE(info.NewVersionAvailable()) << '"' << value << '"';
  }
}

TEST(VersionInfo, RedirectReadLeavesOtherFieldsAlone) {
  VersionInfo info;
  info.ReadVersion("<newVersion>V3</newVersion><texte>a</texte><lien>b</lien>");
  info.ReadRedirect("<texte>t2</texte>");
  EXPECT_EQ(Fields(info), "t2||V3|||0|0|0|0|20");
  info.ReadRedirect("");
  EXPECT_EQ(info.Texte(), "");
}

TEST(ReplyFields, ParsesIntegersLikeTheStandardConversionAndBoundsFields) {
  const std::pair<const char*, int32_t> cases[] = {
      {"", 0},
      {"  42abc", 42},
      {"\t\n-17", -17},
      {"+5", 5},
      {"x5", 0},
      {"- 5", 0},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      // Beyond the range: saturates, never undefined.
      {"99999999999999999999999999", INT32_MAX},
      {"-99999999999999999999999999", INT32_MIN},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseReplyInteger(text), value) << text;
  char field[5];
  std::memset(field, 'z', sizeof field);
  CopyReplyField(field, "abcd");
  EXPECT_STREQ(field, "abcd");
  CopyReplyField(field, "abcde");  // too long: left empty
  EXPECT_STREQ(field, "");
}

// ---- OptionList -----------------------------------------------------------------------------

OptionList ReadOptions(std::string reply) {
  OptionList list;
  list.Read(reply);
  EXPECT_TRUE(reply.empty());  // the list walk consumes the reply
  return list;
}

TEST(OptionList, ReadsOptionsInReplyOrder) {
  OptionList list = ReadOptions(
      "<option><code>12</code><name>Tpms Pro</name><desc>d1</desc><base>B1</base>"
      "<sigle>TP</sigle><ver>1.2</ver><set>1</set><visible>1</visible><edit>0</edit><sd>1</sd>"
      "</option>"
      "<option><code>70000</code><name>Second</name><desc>d2</desc><base>B2</base>"
      "<sigle>S2</sigle><ver>2.0</ver><set>2</set><visible>0</visible><edit>1</edit><sd>0</sd>"
      "</option>");
  ASSERT_EQ(list.Count(), 2);
  OptionRecord record;
  ASSERT_EQ(list.OptionAt(0, record), 0);
  EXPECT_EQ(Fields(record), "12|Tpms Pro|d1|B1|TP|1.2|1|1|0|1");
  ASSERT_EQ(list.OptionAt(1, record), 0);
  EXPECT_EQ(Fields(record), "4464|Second|d2|B2|S2|2.0|2|0|1|0");  // the code is cut to 16 bits
  EXPECT_TRUE(list.AnyVisible());
  std::string nothing = "nothing here";
  list.Read(nothing);
  EXPECT_EQ(list.Count(), 0);
}

TEST(OptionList, MissingAndOverlongFields) {
  OptionList list = ReadOptions("<option><code>3</code></option>");
  OptionRecord record;
  ASSERT_EQ(list.OptionAt(0, record), 0);
  EXPECT_EQ(Fields(record), "3||||||0|0|1|0");  // a missing edit means editable
  EXPECT_FALSE(list.AnyVisible());

  list = ReadOptions("<option><name>" + std::string(80, 'n') + "</name><ver>" +
                     std::string(9, 'v') + "</ver><sigle>" + std::string(10, 's') +
                     "</sigle></option><option><name>" + std::string(79, 'n') + "</name></option>");
  ASSERT_EQ(list.OptionAt(0, record), 0);
  EXPECT_EQ(Fields(record), "0|||||" + std::string(9, 'v') + "|0|0|1|0");  // name and sigle too long
  list.OptionAt(1, record);
  EXPECT_EQ(std::string(record.name), std::string(79, 'n'));

  // A field missing in one option comes from the next.
  list =
      ReadOptions("<option><code>1</code></option><option><code>2</code><ver>9.9</ver></option>");
  list.OptionAt(0, record);
  EXPECT_STREQ(record.ver, "9.9");
  EXPECT_EQ(record.code, 1);
}

TEST(OptionList, LookupsFindTheLastMatchOrGiveAZeroRecord) {
  OptionList list = ReadOptions(
      "<option><code>5</code><name>first</name></option>"
      "<option><code>5</code><name>second</name></option>"
      "<option><code>6</code><name>other</name></option>");
  OptionRecord record;
  ASSERT_EQ(list.FindByCode(5, record), 0);
  EXPECT_STREQ(record.name, "second");
  for (int index : {3, -1}) {
    list.OptionAt(0, record);
    EXPECT_EQ(list.OptionAt(index, record), -1);
    EXPECT_EQ(record.code, 0);
    EXPECT_STREQ(record.name, "");
  }
  list.OptionAt(0, record);
  EXPECT_EQ(list.FindByCode(7, record), -1);
  EXPECT_STREQ(record.name, "");
  EXPECT_EQ(record.code, 0);
}

// ---- DatabaseList ---------------------------------------------------------------------------

const char* kDatabases =
    "<zone>3</zone><cntry>49</cntry>"
    "<duo><dbs>EU12-3-AB</dbs><rel>EU12-4-CD</rel></duo>"
    "<duo><dbs>US20-1-X</dbs><rel></rel></duo>"
    "<duo><dbs>JP7-1-Z</dbs><rel>JP7-2-Z</rel></duo>";

DatabaseList ReadDatabases(const std::string& text = kDatabases) {
  DatabaseList list;
  std::string reply = text;
  list.Read(reply);
  EXPECT_TRUE(reply.empty());
  return list;
}

std::vector<std::string> AllFilesToLoad(DatabaseList& list) {
  std::vector<std::string> names;
  list.Rewind();
  for (std::string name;;) {
    list.NextFileToLoad(name);
    if (name.empty()) break;
    names.push_back(name);
  }
  return names;
}

TEST(DatabaseList, ReadsZoneCountryAndPairs) {
  EXPECT_EQ(DatabaseList().Zone(), 1);
  DatabaseList list = ReadDatabases();
  EXPECT_EQ(list.Zone(), 3);
  EXPECT_EQ(list.Country(), 49);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(Fields(list.PairAt(0)), "EU12-3-AB|EU12-4-CD|0|1");
  EXPECT_EQ(list.FilesToLoad(), 6);

  list = ReadDatabases("<duo><dbs>a</dbs><rel>b</rel></duo>");
  EXPECT_EQ(list.Zone(), 0);  // no tag: zero after reading, one after clearing
  list.Clear();
  EXPECT_EQ(list.Zone(), 1);
  EXPECT_EQ(list.Count(), 0);

  list = ReadDatabases("<duo><dbs>" + std::string(30, 'd') + "</dbs><rel>" + std::string(29, 'r') +
                       "</rel></duo>");
  EXPECT_EQ(Fields(list.PairAt(0)), "|" + std::string(29, 'r') + "|0|1");  // dbs overlong
  EXPECT_EQ(list.PairAt(5).load, 0);
}

TEST(DatabaseList, InstalledNamesMatchPairsByPrefixAndBase) {
  // The base drops the last character of the third part: "EU12-3-AB" is based on "EU12-3-A",
  // so an installed name is a later revision of the same package.
  DatabaseList list = ReadDatabases();
  list.MarkInstalled("EU12-3-AC");
  list.MarkInstalled("EU12-3-A");
  EXPECT_EQ(list.PairAt(0).matches, 0);

  list = ReadDatabases(
      "<duo><dbs>EU12-3-A</dbs><rel>EU12-4-C</rel></duo><duo><dbs>US1-1-X</dbs><rel>US1-2-Y</rel></"
      "duo>");
  list.MarkInstalled("EU12-3-AB");  // base equals dbs
  EXPECT_EQ(Fields(list.PairAt(0)), "EU12-3-A|EU12-4-C|1|1");
  list.MarkInstalled("EU12-4-CQ");  // the same prefix as dbs, and the second member's name
  EXPECT_EQ(Fields(list.PairAt(0)), "EU12-3-A|EU12-4-C|2|0");
  EXPECT_EQ(list.FilesToLoad(), 2);
  list.MarkInstalled("EU12-3-AZ");
  EXPECT_EQ(list.PairAt(1).matches, 0);

  list = ReadDatabases("<duo><dbs>AA1-1-X</dbs><rel>BB1-1-Y</rel></duo>");
  list.MarkInstalled("BB1-1-YZ");  // prefix differs from the first name: compared with rel
  EXPECT_EQ(list.PairAt(0).matches, 1);
  list.MarkInstalled("AA1-1-XZ");
  EXPECT_EQ(Fields(list.PairAt(0)), "AA1-1-X|BB1-1-Y|2|0");

  // "AB" has no digit, so its prefix is empty and agrees with both names: its base decides.
  list = ReadDatabases("<duo><dbs>X</dbs><rel>AB</rel></duo>");
  list.MarkInstalled("AB");
  EXPECT_EQ(list.PairAt(0).matches, 1);
  list.MarkInstalled("Y");
  list.MarkInstalled(nullptr);
  EXPECT_EQ(list.PairAt(0).matches, 1);
}

TEST(DatabaseList, NextFileToLoadSkipsEmptyNamesAndUnloadedPairs) {
  DatabaseList list = ReadDatabases(
      "<duo><dbs>A1-1-X</dbs><rel>A1-2-Y</rel></duo>"
      "<duo><dbs>B1-1-X</dbs><rel></rel></duo>"
      "<duo><dbs>C1-1-X</dbs><rel>C1-2-Y</rel></duo>");
  list.MarkInstalled("C1-1-XZ");
  list.MarkInstalled("C1-1-XZ");  // the same name twice also reaches two matches
  EXPECT_EQ(list.PairAt(2).load, 0);
  EXPECT_EQ(list.FilesToLoad(), 4);  // two per pair, even with an empty rel
  EXPECT_EQ(AllFilesToLoad(list), (std::vector<std::string>{"A1-1-X", "A1-2-Y", "B1-1-X"}));
  std::string name = "x";
  list.NextFileToLoad(name);
  EXPECT_EQ(name, "");
  list.SelectAll();
  EXPECT_EQ(AllFilesToLoad(list).size(), 5u);

  // Reading again does not rewind the cursor.
  list = ReadDatabases();
  list.NextFileToLoad(name);
  EXPECT_EQ(name, "EU12-3-AB");
  std::string reply = kDatabases;
  list.Read(reply);
  list.NextFileToLoad(name);
  EXPECT_EQ(name, "EU12-4-CD");
}

// ---- Small lists and names ------------------------------------------------------------------

TEST(OthersList, KeepsEmptyNamesInPlace) {
  OthersList list;
  std::string reply = "<af>one</af><af></af><af>three</af>";
  list.Read(reply);
  EXPECT_TRUE(reply.empty());
  ASSERT_EQ(list.Count(), 3);
  const std::tuple<int, int, std::string> lookups[] = {{1, 1, ""}, {2, 1, "three"}, {3, 0, ""}, {-1, 0, ""}};
  for (const auto& [index, found, want] : lookups) {
    std::string name = "x";
    EXPECT_EQ(list.NameAt(index, name), found) << index;
    EXPECT_EQ(name, want) << index;
  }
}

TEST(PackageName, SplitsPrefixAndBase) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"AB12-3-XY", "AB", "AB12-3-X"},
      {"AB12", "AB", "AB12"},
      {"12AB", "1", "12AB"},
      {"AB12-3-", "AB", "AB12-3-"},
      {"", "", ""},
      {"ABC", "", "ABC"},
      {"AB-12-XY", "", "AB-12-X"},
      {"A1-2-3-4", "A", "A1-2-"},
      {"A1--XYZ", "A", "A1--XY"},
  };
  for (const auto& [text, prefix, base] : cases) {
    PackageName name(text);
    EXPECT_EQ(name.Prefix(), prefix) << text;
    EXPECT_EQ(name.Base(), base) << text;
    EXPECT_EQ(name.PrefixLength(), std::strlen(prefix));
  }
}

TEST(OptionCodeSet, AddsEachCodeOnceInOrder) {
  OptionCodeSet set;
  for (uint16_t code : {7, 3, 7}) set.Add(code);
  EXPECT_EQ(set.Codes(), (std::vector<uint16_t>{7, 3}));
  int index = 0;
  EXPECT_TRUE(set.Contains(3, &index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(set.Contains(9, &index));
  EXPECT_EQ(index, -1);
  EXPECT_EQ(set.At(0), 7);
  EXPECT_EQ(set.At(2), 0);
}

}  // namespace
}  // namespace velmar
