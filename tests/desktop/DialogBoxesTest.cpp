// The About box and the boot-mode caution box.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "AboutBox.h"
#include "BootModeCautionBox.h"

namespace velmar {
namespace {

TEST(DialogBoxesTest, AboutBoxShowsItsNameAndIconAndClosesWithOk) {
  AboutBox box;
  box.open();
  EXPECT_EQ(box.windowTitle(), "About Velmar");
  ASSERT_NE(box.findChild<QLabel*>("name"), nullptr);
  EXPECT_FALSE(box.findChild<QLabel*>("icon")->pixmap().isNull());
  QTest::mouseClick(box.findChild<QPushButton*>("ok"), Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(DialogBoxesTest, CautionBoxShowsTheStepsTheKeysAndTheBootScreen) {
  BootModeCautionBox box;
  box.open();
  EXPECT_EQ(box.windowTitle(), "Boot mode");
  EXPECT_TRUE(box.findChild<QLabel*>("steps")->text().contains("boot mode"));
  for (const char* part : {"screen", "key0", "key1", "key2"})
    EXPECT_NE(box.findChild<QWidget*>(part), nullptr) << part;
  // The whole box is drawn without a fault, keys and screen included.
  EXPECT_FALSE(box.grab().isNull());
  QTest::mouseClick(box.findChild<QPushButton*>("ok"), Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
}

}  // namespace
}  // namespace velmar
