// The status log's line rules: "\r\n" endings, a progress line that replaces itself, and what
// a replace does right after a clear or after the text was cut short.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/StatusLog.h"
#include "app/Strings.h"

namespace velmar {
namespace {

class StatusLogTest : public ::testing::Test {
 protected:
  StatusLog log_{[this](const std::string& text) { shown_.push_back(text); }};
  std::vector<std::string> shown_;
};

TEST_F(StatusLogTest, LinesEndInCarriageReturnLineFeed) {
  log_.AppendLine("Device Detected.");
  log_.AppendString(kStrReadSerialFailed);
  EXPECT_EQ(log_.text(), "Device Detected.\r\nRead Device serial number fail.\r\n");
  EXPECT_EQ(log_.lastLength(), std::string("Read Device serial number fail.\r\n").size());
  EXPECT_EQ(shown_.back(), log_.text());
  EXPECT_EQ(shown_.size(), 2u);
}

TEST_F(StatusLogTest, ReplaceLastLineReplacesTheProgressLine) {
  log_.AppendString(kStrUpdatingDevice);
  log_.AppendLine(FormatMessage(kStrLoadingDatabase, 1, 3));
  log_.ReplaceLastLine(FormatMessage(kStrLoadingDatabase, 2, 3));
  log_.ReplaceLastLine(FormatMessage(kStrLoadingDatabase, 3, 3));
  EXPECT_EQ(log_.text(), "Updating Device...\r\nLoading database 3/3.... Please wait.\r\n");
  // One notification per change, each with the whole text.
  EXPECT_EQ(shown_.size(), 4u);
  EXPECT_EQ(shown_[2], "Updating Device...\r\nLoading database 2/3.... Please wait.\r\n");
}

// Right after a clear, on an empty log, or without a listener, a replace only appends.
TEST_F(StatusLogTest, ReplaceAfterClearOrOnAnEmptyLogAppends) {
  log_.AppendLine("first");
  log_.Clear();
  EXPECT_EQ(log_.lastLength(), 0u);
  EXPECT_EQ(shown_.back(), "");
  log_.ReplaceLastLine("Loading option : ");
  EXPECT_EQ(log_.text(), "Loading option : \r\n");
  EXPECT_EQ(log_.lastLength(), 19u);
  StatusLog alone;
  alone.ReplaceLastLine("x");
  EXPECT_EQ(alone.text(), "x\r\n");
}

TEST_F(StatusLogTest, EmptyLinesCountTheirLineEnd) {
  log_.AppendLine("a");
  log_.AppendLine("");
  EXPECT_EQ(log_.lastLength(), 2u);
  log_.ReplaceLastLine("b");
  EXPECT_EQ(log_.text(), "a\r\nb\r\n");
}

}  // namespace
}  // namespace velmar
