// The About box, the boot-mode caution box and the artwork they show.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "AboutBox.h"
#include "Artwork.h"
#include "BootModeCautionBox.h"

namespace velmar {
namespace {

int OpaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0;
  return count;
}

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

TEST(DialogBoxesTest, ArtworkFillsTheSizeAskedAndLeavesTheCornersClear) {
  const QIcon icon = ApplicationIcon();
  ASSERT_FALSE(icon.isNull());
  for (int side : {16, 32, 256}) {
    const QImage image = icon.pixmap(QSize(side, side)).toImage();
    EXPECT_EQ(image.size(), QSize(side, side));
    EXPECT_GT(OpaquePixels(image), side * side / 5) << side;
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << side;
  }
  const QImage product = ProductPicture(QSize(177, 129)).toImage();
  EXPECT_EQ(product.size(), QSize(177, 129));
  EXPECT_GT(OpaquePixels(product), 177 * 129 / 4);
  for (int which : {0, 1, 2, 7, -1}) {
    const QImage key = KeyPicture(which, QSize(40, 30)).toImage();
    EXPECT_EQ(key.size(), QSize(40, 30));
    EXPECT_EQ(qAlpha(key.pixel(0, 0)), 0);
    EXPECT_GT(OpaquePixels(key), 500) << which;
  }
  // Degenerate sizes give a small empty picture, not a fault.
  EXPECT_FALSE(ProductPicture(QSize(0, 0)).isNull());
  EXPECT_FALSE(KeyPicture(1, QSize(-3, 5)).isNull());
}

}  // namespace
}  // namespace velmar
