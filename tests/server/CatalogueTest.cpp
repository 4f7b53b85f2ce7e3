#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "server/Catalogue.h"
#include "server/ReplyFields.h"

namespace velmar {
namespace {

// ---- VersionInfo --------------------------------------------------------------------------

TEST(VersionInfo, ReadsEveryFieldOfVersionReply) {
  VersionInfo info;
  info.ReadVersion(
      "<texte>hello</texte><lien>http://h/x.php</lien><versionValid>0</versionValid>"
      "<newVersion>V2.10</newVersion><serverMsg>msg</serverMsg><usb>X-15-1</usb>"
      "<sd>1</sd><rs>4660</rs>");
  EXPECT_EQ(info.Texte(), "hello");
  EXPECT_EQ(info.Lien(), "http://h/x.php");
  EXPECT_EQ(info.NewVersion(), "V2.10");
  EXPECT_EQ(info.ServerMsg(), "msg");
  EXPECT_EQ(info.Usb(), "X-15-1");
  EXPECT_TRUE(info.NewVersionAvailable());
  EXPECT_EQ(info.Sd(), 1u);
  EXPECT_EQ(info.Rs(), 4660);
  EXPECT_EQ(info.UsbPoll(), 1);
  EXPECT_EQ(info.UsbWait(), 15);
}

TEST(VersionInfo, MissingFieldsGiveDefaults) {
  VersionInfo info;
  info.ReadVersion("<texte>t</texte>");
  EXPECT_EQ(info.Sd(), 0u);
  EXPECT_EQ(info.Rs(), 0);
  EXPECT_EQ(info.UsbPoll(), 0);
  EXPECT_EQ(info.UsbWait(), 20);
  EXPECT_FALSE(info.NewVersionAvailable());
}

TEST(VersionInfo, DerivesUsbSettings) {
  struct Case {
    const char* usb;
    int poll;
    int wait;
  } cases[] = {
      {"1", 0, 20},       // a single character, even a digit, changes nothing
      {"N-30", 0, 30},    // last character "0"
      {"X-15-1", 1, 15},  // the number after the first dash
      {"AB", 0, 20},      // no dash keeps the wait
      {"A1", 1, 20},
      {"X-", 0, 0},       // ending in a dash: nothing after it reads as 0
      {"X-15-", 0, 15},
  };
  for (const Case& c : cases) {
    VersionInfo info;
    info.ReadVersion(std::string("<usb>") + c.usb + "</usb>");
    EXPECT_EQ(info.UsbPoll(), c.poll) << c.usb;
    EXPECT_EQ(info.UsbWait(), c.wait) << c.usb;
  }
}

TEST(VersionInfo, OnlyASingleZeroMeansANewVersion) {
  for (const char* value : {"00", "", "1", " 0", "0 "}) {
    VersionInfo info;
    info.ReadVersion(std::string("<versionValid>") + value + "</versionValid>");
    EXPECT_FALSE(info.NewVersionAvailable()) << '"' << value << '"';
  }
}

TEST(VersionInfo, ResetCodeIsCutToSixteenBits) {
  VersionInfo info;
  info.ReadVersion("<rs>65537</rs><sd>-1</sd>");
  EXPECT_EQ(info.Rs(), 1);
  EXPECT_EQ(info.Sd(), 0xFFFFFFFFu);
}

TEST(VersionInfo, RedirectReadLeavesOtherFieldsAlone) {
  VersionInfo info;
  info.ReadVersion("<newVersion>V3</newVersion><texte>a</texte><lien>b</lien>");
  info.ReadRedirect("<texte>t2</texte>");
  EXPECT_EQ(info.Texte(), "t2");
  EXPECT_EQ(info.Lien(), "");
  EXPECT_EQ(info.NewVersion(), "V3");
  info.ReadRedirect("");
  EXPECT_EQ(info.Texte(), "");
}

TEST(VersionInfo, EmptyReplyClearsRecord) {
  VersionInfo info;
  info.ReadVersion("<usb>X-15-1</usb><newVersion>V3</newVersion>");
  info.ReadVersion("");
  EXPECT_EQ(info.NewVersion(), "");
  EXPECT_EQ(info.UsbWait(), 20);
}

// ---- Integers and fixed fields --------------------------------------------------------------

TEST(ReplyFields, ParsesIntegersLikeTheStandardConversion) {
  EXPECT_EQ(ParseReplyInteger(""), 0);
  EXPECT_EQ(ParseReplyInteger("  42abc"), 42);
  EXPECT_EQ(ParseReplyInteger("\t\n-17"), -17);
  EXPECT_EQ(ParseReplyInteger("+5"), 5);
  EXPECT_EQ(ParseReplyInteger("x5"), 0);
  EXPECT_EQ(ParseReplyInteger("- 5"), 0);
  EXPECT_EQ(ParseReplyInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseReplyInteger("-2147483648"), INT32_MIN);
  // Beyond the range: saturates, never undefined.
  EXPECT_EQ(ParseReplyInteger("99999999999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseReplyInteger("-99999999999999999999999999"), INT32_MIN);
}

TEST(ReplyFields, TooLongValueLeavesFieldEmpty) {
  char field[5];
  std::memset(field, 'z', sizeof field);
  CopyReplyField(field, "abcd");
  EXPECT_STREQ(field, "abcd");
  CopyReplyField(field, "abcde");
  EXPECT_STREQ(field, "");
}

// ---- OptionList -----------------------------------------------------------------------------

const char* kOptions =
    "<option><code>12</code><name>Tpms Pro</name><desc>d1</desc><base>B1</base>"
    "<sigle>TP</sigle><ver>1.2</ver><set>1</set><visible>1</visible><edit>0</edit><sd>1</sd>"
    "</option>"
    "<option><code>70000</code><name>Second</name><desc>d2</desc><base>B2</base>"
    "<sigle>S2</sigle><ver>2.0</ver><set>2</set><visible>0</visible><edit>1</edit><sd>0</sd>"
    "</option>";

TEST(OptionList, ReadsOptionsInReplyOrderAndConsumesReply) {
  OptionList list;
  std::string reply = kOptions;
  list.Read(reply);
  EXPECT_TRUE(reply.empty());
  ASSERT_EQ(list.Count(), 2);
  OptionRecord record;
  ASSERT_EQ(list.OptionAt(0, record), 0);
  EXPECT_EQ(record.code, 12);
  EXPECT_STREQ(record.name, "Tpms Pro");
  EXPECT_STREQ(record.desc, "d1");
  EXPECT_STREQ(record.base, "B1");
  EXPECT_STREQ(record.sigle, "TP");
  EXPECT_STREQ(record.ver, "1.2");
  EXPECT_EQ(record.set, 1);
  EXPECT_EQ(record.visible, 1);
  EXPECT_EQ(record.edit, 0);
  EXPECT_EQ(record.sd, 1);
  ASSERT_EQ(list.OptionAt(1, record), 0);
  EXPECT_EQ(record.code, static_cast<uint16_t>(70000));
  EXPECT_EQ(record.set, 2);
  EXPECT_TRUE(list.AnyVisible());
}

TEST(OptionList, MissingEditMeansEditableAndMissingNumbersMeanZero) {
  OptionList list;
  std::string reply = "<option><code>3</code></option>";
  list.Read(reply);
  OptionRecord record;
  ASSERT_EQ(list.OptionAt(0, record), 0);
  EXPECT_EQ(record.edit, 1);
  EXPECT_EQ(record.set, 0);
  EXPECT_EQ(record.visible, 0);
  EXPECT_EQ(record.sd, 0);
  EXPECT_FALSE(list.AnyVisible());
}

TEST(OptionList, TextsTooLongForTheirFieldAreLeftEmpty) {
  OptionList list;
  std::string reply = "<option><name>" + std::string(80, 'n') + "</name><ver>" +
                      std::string(9, 'v') + "</ver><sigle>" + std::string(10, 's') +
                      "</sigle></option>";
  list.Read(reply);
  OptionRecord record;
  ASSERT_EQ(list.OptionAt(0, record), 0);
  EXPECT_STREQ(record.name, "");
  EXPECT_EQ(std::string(record.ver), std::string(9, 'v'));
  EXPECT_STREQ(record.sigle, "");
  reply = "<option><name>" + std::string(79, 'n') + "</name></option>";
  list.Read(reply);
  list.OptionAt(0, record);
  EXPECT_EQ(std::string(record.name), std::string(79, 'n'));
}

TEST(OptionList, FieldMissingInOneOptionComesFromTheNext) {
  OptionList list;
  std::string reply =
      "<option><code>1</code></option><option><code>2</code><ver>9.9</ver></option>";
  list.Read(reply);
  OptionRecord record;
  list.OptionAt(0, record);
  EXPECT_STREQ(record.ver, "9.9");
  EXPECT_EQ(record.code, 1);
}

TEST(OptionList, FindByCodeReturnsTheLastMatch) {
  OptionList list;
  std::string reply =
      "<option><code>5</code><name>first</name></option>"
      "<option><code>5</code><name>second</name></option>"
      "<option><code>6</code><name>other</name></option>";
  list.Read(reply);
  OptionRecord record;
  ASSERT_EQ(list.FindByCode(5, record), 0);
  EXPECT_STREQ(record.name, "second");
  EXPECT_EQ(list.FindByCode(7, record), -1);
  EXPECT_STREQ(record.name, "");
  EXPECT_EQ(record.code, 0);
}

TEST(OptionList, OptionAtOutsideTheListGivesZeroRecord) {
  OptionList list;
  std::string reply = "<option><code>5</code><name>n</name></option>";
  list.Read(reply);
  OptionRecord record;
  list.OptionAt(0, record);
  EXPECT_EQ(list.OptionAt(1, record), -1);
  EXPECT_EQ(record.code, 0);
  EXPECT_STREQ(record.name, "");
  EXPECT_EQ(list.OptionAt(-1, record), -1);
}

TEST(OptionList, ReadReplacesPreviousContent) {
  OptionList list;
  std::string reply = kOptions;
  list.Read(reply);
  reply = "nothing here";
  list.Read(reply);
  EXPECT_EQ(list.Count(), 0);
}

// ---- DatabaseList ---------------------------------------------------------------------------

const char* kDatabases =
    "<zone>3</zone><cntry>49</cntry>"
    "<duo><dbs>EU12-3-AB</dbs><rel>EU12-4-CD</rel></duo>"
    "<duo><dbs>US20-1-X</dbs><rel></rel></duo>"
    "<duo><dbs>JP7-1-Z</dbs><rel>JP7-2-Z</rel></duo>";

DatabaseList ReadDatabases(const char* text = kDatabases) {
  DatabaseList list;
  std::string reply = text;
  list.Read(reply);
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
  DatabaseList list;
  EXPECT_EQ(list.Zone(), 1);
  std::string reply = kDatabases;
  list.Read(reply);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(list.Zone(), 3);
  EXPECT_EQ(list.Country(), 49);
  ASSERT_EQ(list.Count(), 3);
  DatabasePair pair = list.PairAt(0);
  EXPECT_STREQ(pair.dbs, "EU12-3-AB");
  EXPECT_STREQ(pair.rel, "EU12-4-CD");
  EXPECT_EQ(pair.matches, 0);
  EXPECT_EQ(pair.load, 1);
  EXPECT_EQ(list.FilesToLoad(), 6);
}

TEST(DatabaseList, ZoneWithoutTagIsZeroAfterReadingAndOneAfterClearing) {
  DatabaseList list = ReadDatabases("<duo><dbs>a</dbs><rel>b</rel></duo>");
  EXPECT_EQ(list.Zone(), 0);
  list.Clear();
  EXPECT_EQ(list.Zone(), 1);
  EXPECT_EQ(list.Count(), 0);
}

TEST(DatabaseList, PairWithBothNamesInstalledIsNotLoaded) {
  DatabaseList list = ReadDatabases();
  // Bases: "EU12-3-AB" -> "EU12-3-A"... the base drops the last character of the third part,
  // so the installed name is a later revision of the same package.
  list.MarkInstalled("EU12-3-AC");
  EXPECT_EQ(list.PairAt(0).matches, 0);
  list.MarkInstalled("EU12-3-A");
  EXPECT_EQ(list.PairAt(0).matches, 0);

  DatabaseList exact = ReadDatabases(
      "<duo><dbs>EU12-3-A</dbs><rel>EU12-4-C</rel></duo><duo><dbs>US1-1-X</dbs><rel>US1-2-Y</rel></duo>");
  exact.MarkInstalled("EU12-3-AB");  // base EU12-3-A equals dbs
  EXPECT_EQ(exact.PairAt(0).matches, 1);
  EXPECT_EQ(exact.PairAt(0).load, 1);
  exact.MarkInstalled("EU12-4-CQ");  // prefix EU matches dbs first, so rel is never compared
  EXPECT_EQ(exact.PairAt(0).matches, 1);
  exact.MarkInstalled("EU12-3-AZ");  // the same pair's dbs again
  EXPECT_EQ(exact.PairAt(0).matches, 2);
  EXPECT_EQ(exact.PairAt(0).load, 0);
  EXPECT_EQ(exact.FilesToLoad(), 2);
}

TEST(DatabaseList, SecondNameMatchesWhenPrefixDiffersFromFirst) {
  DatabaseList list = ReadDatabases("<duo><dbs>AA1-1-X</dbs><rel>BB1-1-Y</rel></duo>");
  list.MarkInstalled("BB1-1-YZ");
  EXPECT_EQ(list.PairAt(0).matches, 1);
  list.MarkInstalled("AA1-1-XZ");
  EXPECT_EQ(list.PairAt(0).matches, 2);
  EXPECT_EQ(list.PairAt(0).load, 0);
}

TEST(DatabaseList, NameWithoutPrefixIsOnlyComparedWithFirstName) {
  // "AB" has no digit, so its prefix is empty and agrees with every first name.
  DatabaseList list = ReadDatabases("<duo><dbs>X</dbs><rel>AB</rel></duo>");
  list.MarkInstalled("AB");
  EXPECT_EQ(list.PairAt(0).matches, 0);
  list.MarkInstalled("X");
  EXPECT_EQ(list.PairAt(0).matches, 1);
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
}

TEST(DatabaseList, ReadingDoesNotRewindTheCursor) {
  DatabaseList list = ReadDatabases();
  std::string name;
  list.NextFileToLoad(name);
  EXPECT_EQ(name, "EU12-3-AB");
  std::string reply = kDatabases;
  list.Read(reply);
  list.NextFileToLoad(name);
  EXPECT_EQ(name, "EU12-4-CD");
}

TEST(DatabaseList, OverlongNamesAreLeftEmpty) {
  std::string text = "<duo><dbs>" + std::string(30, 'd') + "</dbs><rel>" + std::string(29, 'r') +
                     "</rel></duo>";
  DatabaseList list = ReadDatabases(text.c_str());
  EXPECT_STREQ(list.PairAt(0).dbs, "");
  EXPECT_EQ(std::string(list.PairAt(0).rel), std::string(29, 'r'));
  EXPECT_EQ(list.PairAt(5).load, 0);
}

// ---- OthersList -----------------------------------------------------------------------------

TEST(OthersList, KeepsEmptyNamesInPlace) {
  OthersList list;
  std::string reply = "<af>one</af><af></af><af>three</af>";
  list.Read(reply);
  EXPECT_TRUE(reply.empty());
  ASSERT_EQ(list.Count(), 3);
  std::string name;
  EXPECT_EQ(list.NameAt(1, name), 1);
  EXPECT_EQ(name, "");
  EXPECT_EQ(list.NameAt(2, name), 1);
  EXPECT_EQ(name, "three");
  EXPECT_EQ(list.NameAt(3, name), 0);
  EXPECT_EQ(name, "");
  EXPECT_EQ(list.NameAt(-1, name), 0);
}

// ---- PackageName ----------------------------------------------------------------------------

TEST(PackageName, SplitsPrefixAndBase) {
  struct Case {
    const char* name;
    const char* prefix;
    const char* base;
  } cases[] = {
      {"AB12-3-XY", "AB", "AB12-3-X"}, {"AB12", "AB", "AB12"},   {"12AB", "1", "12AB"},
      {"AB12-3-", "AB", "AB12-3-"},    {"", "", ""},             {"ABC", "", "ABC"},
      {"AB-12-XY", "", "AB-12-X"},     {"A1-2-3-4", "A", "A1-2-"}, {"A1--XYZ", "A", "A1--XY"},
  };
  for (const Case& c : cases) {
    PackageName name(c.name);
    EXPECT_EQ(name.Name(), c.name);
    EXPECT_EQ(name.Prefix(), c.prefix) << c.name;
    EXPECT_EQ(name.Base(), c.base) << c.name;
    EXPECT_EQ(name.PrefixLength(), std::strlen(c.prefix));
  }
}

// ---- OptionCodeSet --------------------------------------------------------------------------

TEST(OptionCodeSet, AddsEachCodeOnceInOrder) {
  OptionCodeSet set;
  set.Add(7);
  set.Add(3);
  set.Add(7);
  EXPECT_EQ(set.Codes(), (std::vector<uint16_t>{7, 3}));
  int index = 0;
  EXPECT_TRUE(set.Contains(3, &index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(set.Contains(9, &index));
  EXPECT_EQ(index, -1);
  EXPECT_EQ(set.At(5), 0);
  set.Clear();
  EXPECT_EQ(set.Count(), 0);
}

}  // namespace
}  // namespace velmar
