#include "server/TagReader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace velmar {
namespace {

std::string Read(std::string_view text, std::string_view tag, long* end = nullptr) {
  std::string value = "left over";
  long result = TagReader::ReadTag(text, value, tag);
  if (end != nullptr) *end = result;
  return value;
}

TEST(TagReader, FindsValueAndReturnsIndexAfterClosingTag) {
  long end = 0;
  EXPECT_EQ(Read("xx<lien>abc</lien>yy", "lien", &end), "abc");
  EXPECT_EQ(end, 18);
  EXPECT_EQ(Read("<lien>abc</lien>", "lien", &end), "abc");
  EXPECT_EQ(end, 16);
}

TEST(TagReader, EmptyElementGivesEmptyValueButIsFound) {
  long end = 0;
  EXPECT_EQ(Read("<usb></usb>", "usb", &end), "");
  EXPECT_EQ(end, 11);
}

TEST(TagReader, MissingElementGivesMinusOneAndEmptiesTheValue) {
  long end = 0;
  EXPECT_EQ(Read("<a>1</a>", "b", &end), "");
  EXPECT_EQ(end, -1);
  EXPECT_EQ(Read("", "a", &end), "");
  EXPECT_EQ(end, -1);
  EXPECT_EQ(Read("<a>unclosed", "a", &end), "");
  EXPECT_EQ(end, -1);
  EXPECT_EQ(Read("closed only</a>", "a", &end), "");
  EXPECT_EQ(end, -1);
}

TEST(TagReader, UnwrapsCdataDroppingLastThreeCharactersUnchecked) {
  EXPECT_EQ(Read("<t><![CDATA[a<b>&c]]></t>", "t"), "a<b>&c");
  EXPECT_EQ(Read("<t><![CDATA[]]></t>", "t"), "");
  // The ending is not compared: any three characters go.
  EXPECT_EQ(Read("<t><![CDATA[abcdXYZ</t>", "t"), "abcd");
  // Shorter than the wrapping itself.
  EXPECT_EQ(Read("<t><![CDATA[ab</t>", "t"), "");
  EXPECT_EQ(Read("<t><![CDATA[</t>", "t"), "");
  EXPECT_EQ(Read("<t><![CDATA[abc</t>", "t"), "");
  EXPECT_EQ(Read("<t><![CDATA[abcd</t>", "t"), "a");
}

TEST(TagReader, ValueStartingWithLessThanLosesFirstAndLastCharacter) {
  EXPECT_EQ(Read("<t><x></t>", "t"), "x");
  EXPECT_EQ(Read("<t><</t>", "t"), "");
  EXPECT_EQ(Read("<t><></t>", "t"), "");
  EXPECT_EQ(Read("<t><abcd</t>", "t"), "abc");
  // Only a CDATA opening that is complete counts as one.
  EXPECT_EQ(Read("<t><![CDATA</t>", "t"), "![CDAT");
}

TEST(TagReader, ClosingTagBeforeFirstOpeningTagHidesLaterElement) {
  long end = 0;
  EXPECT_EQ(Read("</a><a>1</a>", "a", &end), "");
  EXPECT_EQ(end, -1);
}

TEST(TagReader, MatchesTagExactly) {
  EXPECT_EQ(Read("<a x=\"1\">v</a>", "a"), "");
  EXPECT_EQ(Read("<A>v</A>", "a"), "");
  EXPECT_EQ(Read("<ab>v</ab><a>w</a>", "a"), "w");
}

TEST(TagReader, KeepsEntitiesBlanksAndLineBreaks) {
  EXPECT_EQ(Read("<t> a &amp; b\r\n</t>", "t"), " a &amp; b\r\n");
}

TEST(TagReader, FirstClosingTagEndsNestedElement) {
  long end = 0;
  EXPECT_EQ(Read("<a>1<a>2</a>3</a>", "a", &end), "1<a>2");
  EXPECT_EQ(end, 12);
}

TEST(TagReader, HandlesBytesAndZerosInsideTheText) {
  std::string text("<t>\0\xff</t>", 9);
  EXPECT_EQ(Read(text, "t"), std::string("\0\xff", 2));
}

TEST(TagWalk, ReadsFieldsFromRemainingTextAndDropsEachElement) {
  std::string text = "<af>1</af><af>2</af>";
  TagWalk walk(text);
  std::string value;
  ASSERT_TRUE(walk.NextElement("af"));
  EXPECT_EQ(walk.ReadField(value, "af"), 10);
  EXPECT_EQ(value, "1");
  walk.DropElement();
  ASSERT_TRUE(walk.NextElement("af"));
  walk.ReadField(value, "af");
  EXPECT_EQ(value, "2");
  walk.DropElement();
  EXPECT_TRUE(walk.Finished());
  EXPECT_FALSE(walk.NextElement("af"));
}

TEST(TagWalk, MissingFieldIsTakenFromLaterElement) {
  std::string text = "<e><n>1</n></e><e><n>2</n><m>x</m></e><e></e>";
  TagWalk walk(text);
  std::vector<std::string> n;
  std::vector<std::string> m;
  std::string value;
  while (!walk.Finished() && walk.NextElement("e")) {
    walk.ReadField(value, "n");
    n.push_back(value);
    walk.ReadField(value, "m");
    m.push_back(value);
    walk.DropElement();
  }
  EXPECT_EQ(n, (std::vector<std::string>{"1", "2", ""}));
  EXPECT_EQ(m, (std::vector<std::string>{"x", "x", ""}));
}

// The walk as the server's replies have always been read: the text itself is cut after
// every element. The remembered searches of TagWalk must give the same values.
std::vector<std::vector<std::string>> ReferenceWalk(std::string text, const std::string& element,
                                                    const std::vector<std::string>& fields) {
  std::vector<std::vector<std::string>> records;
  while (!text.empty()) {
    std::string value;
    long end = TagReader::ReadTag(text, value, element);
    if (end == -1) {
      text.clear();
      continue;
    }
    std::vector<std::string> record;
    for (const std::string& field : fields) {
      TagReader::ReadTag(text, value, field);
      record.push_back(value);
    }
    records.push_back(record);
    text = text.substr(static_cast<size_t>(end));
  }
  return records;
}

std::vector<std::vector<std::string>> Walk(const std::string& text, const std::string& element,
                                           const std::vector<std::string>& fields) {
  std::vector<std::vector<std::string>> records;
  TagWalk walk(text);
  std::string value;
  while (!walk.Finished() && walk.NextElement(element)) {
    std::vector<std::string> record;
    for (const std::string& field : fields) {
      walk.ReadField(value, field);
      record.push_back(value);
    }
    records.push_back(record);
    walk.DropElement();
  }
  return records;
}

TEST(TagWalk, AgreesWithCuttingTheTextOnRandomReplies) {
  const std::vector<std::string> pieces = {"<e>", "</e>", "<a>", "</a>", "<b>", "</b>",
                                           "x",   "<",    ">",  "</",  "<![CDATA[", "]]>"};
  std::mt19937 random(1234);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
    ASSERT_EQ(Walk(text, "e", {"a", "b", "e"}), ReferenceWalk(text, "e", {"a", "b", "e"}))
        << "text: " << text;
  }
}

TEST(TagWalk, LongListWithMissingFieldsIsReadInLinearTime) {
  // 200 000 elements that lack every field: cutting the text each time would take minutes.
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "<option></option>";
  size_t count = 0;
  TagWalk walk(text);
  std::string value;
  while (!walk.Finished() && walk.NextElement("option")) {
    walk.ReadField(value, "name");
    walk.ReadField(value, "code");
    ++count;
    walk.DropElement();
  }
  EXPECT_EQ(count, 200000u);
}

}  // namespace
}  // namespace velmar
