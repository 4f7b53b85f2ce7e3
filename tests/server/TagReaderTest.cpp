#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "server/TagReader.h"

namespace velmar {
namespace {

TEST(TagReader, ValuesAndEndIndexes) {
  // Text, tag, value, end index (-1: not found).
  const std::tuple<std::string, const char*, std::string, long> cases[] = {
      {"xx<lien>abc</lien>yy", "lien", "abc", 18},
      {"<lien>abc</lien>", "lien", "abc", 16},
      {"<usb></usb>", "usb", "", 11},  // empty but found
      {"<a>1</a>", "b", "", -1},
      {"", "a", "", -1},
      {"<a>unclosed", "a", "", -1},
      {"closed only</a>", "a", "", -1},
      {"</a><a>1</a>", "a", "", -1},            // a closing tag first hides the later element
      {"<a>1<a>2</a>3</a>", "a", "1<a>2", 12},  // the first closing tag ends it
      {"<a x=\"1\">v</a>", "a", "", -1},
      {"<A>v</A>", "a", "", -1},
      {"<ab>v</ab><a>w</a>", "a", "w", 18},
      {"<t> a &amp; b\r\n</t>", "t", " a &amp; b\r\n", 19},
      {std::string("<t>\0\xff</t>", 9), "t", std::string("\0\xff", 2), 9},
      // CDATA: the last three characters are dropped without looking at them.
      {"<t><![CDATA[a<b>&c]]></t>", "t", "a<b>&c", 25},
      {"<t><![CDATA[]]></t>", "t", "", 19},
      {"<t><![CDATA[abcdXYZ</t>", "t", "abcd", 23},
      {"<t><![CDATA[abc</t>", "t", "", 19},
      {"<t><![CDATA[abcd</t>", "t", "a", 20},
      // A value opening with "<" loses its first and last character.
      {"<t><x></t>", "t", "x", 10},
      {"<t><</t>", "t", "", 8},
      {"<t><abcd</t>", "t", "abc", 12},
      {"<t><![CDATA</t>", "t", "![CDAT", 15},  // an incomplete CDATA opening is text
  };
  for (const auto& [text, tag, want, end] : cases) {
    std::string value = "left over";
    EXPECT_EQ(TagReader::ReadTag(text, value, tag), end) << text;
    EXPECT_EQ(value, want) << text;
  }
}

using Records = std::vector<std::vector<std::string>>;

Records Walk(const std::string& text, const std::string& element,
             const std::vector<std::string>& fields) {
  Records records;
  TagWalk walk(text);
  std::string value;
  while (!walk.Finished() && walk.NextElement(element)) {
    records.emplace_back();
    for (const std::string& field : fields) {
      walk.ReadField(value, field);
      records.back().push_back(value);
    }
    walk.DropElement();
  }
  return records;
}

// The replies have always been read by cutting the text after every element; the
// remembered searches of TagWalk must give the same values.
Records ReferenceWalk(std::string text, const std::string& element,
                      const std::vector<std::string>& fields) {
  Records records;
  std::string value;
  for (long end; !text.empty() && (end = TagReader::ReadTag(text, value, element)) != -1;
       text = text.substr(static_cast<size_t>(end))) {
    records.emplace_back();
    for (const std::string& field : fields) {
      TagReader::ReadTag(text, value, field);
      records.back().push_back(value);
    }
  }
  return records;
}

TEST(TagWalk, AgreesWithCuttingTheTextOnRandomReplies) {
  const std::vector<std::string> pieces = {"<e>", "</e>", "<a>", "</a>", "<b>",       "</b>",
                                           "x",   "<",    ">",   "</",   "<![CDATA[", "]]>"};
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
  // Cutting the text after each of these elements would take minutes.
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "<option></option>";
  EXPECT_EQ(Walk(text, "option", {"name", "code"}).size(), 200000u);
}

}  // namespace
}  // namespace velmar
