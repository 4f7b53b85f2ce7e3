// The boot-mode caution box.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "BootModeCautionBox.h"

namespace velmar {
namespace {

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
