// The banner's gradient bands, read back from the pixels it paints: whole integer steps per
// band, the last band out to the edge, and the light text standing off its shadow.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "TitleBanner.h"

namespace velmar {
namespace {

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kDarkGrey(50, 50, 50);
const QColor kWhite(255, 255, 255);

QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

void Colours(TitleBanner& banner, const QColor& from, const QColor& to) {
  banner.SetGradientFrom(from);
  banner.SetGradientTo(to);
  banner.SetTextColor(kWhite);
}

TEST(TitleBannerTest, NormalColoursStepInWholeStepsFromGreen) {
  TitleBanner banner;
  Colours(banner, kGreen, kDarkGrey);
  banner.SetText("Telvan Internet service");
  const QImage image = banner.Render(QSize(605, 30));
  // Green steps by (50 - 255) / 59 = -3 per band, red and blue by 50 / 59 = 0; the truncated
  // steps stop short of the grey in the last band, 15 wide out to the edge.
  for (const auto& [x, green] : {std::pair{9, 255}, {10, 252}, {589, 81}, {590, 78}, {604, 78}})
    EXPECT_EQ(At(image, x, 28), QColor(0, green, 0)) << x;
}

TEST(TitleBannerTest, RisingChannelsEndExactlyAndANarrowBannerIsOneBand) {
  // Steps that divide evenly end exactly on the target colour; rising channels step up.
  TitleBanner banner;
  Colours(banner, QColor(0, 59, 118), QColor(118, 0, 59));
  const QImage image = banner.Render(QSize(120, 10));
  EXPECT_EQ(At(image, 0, 5), QColor(0, 59, 118));
  EXPECT_EQ(At(image, 2, 5), QColor(2, 58, 117));
  EXPECT_EQ(At(image, 119, 5), QColor(118, 0, 59));
  // Narrower than the bands: the last band fills it all.
  Colours(banner, kGreen, kDarkGrey);
  const QImage narrow = banner.Render(QSize(40, 12));
  for (int x : {0, 20, 39}) EXPECT_EQ(At(narrow, x, 6), QColor(0, 78, 0)) << x;
}

// The bounding box of the pixels `match` accepts.
template <typename Match>
QRect Box(const QImage& image, Match match) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (match(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
  return box;
}

TEST(TitleBannerTest, LightTextStandsTwoUpAndLeftOfItsShadow) {
  TitleBanner banner;
  QFont crisp = banner.font();
  crisp.setStyleStrategy(QFont::NoAntialias);
  banner.setFont(crisp);
  Colours(banner, kDarkGrey, kDarkGrey);
  banner.SetText("IIII");
  const QImage image = banner.Render(QSize(300, 40));
  const QRect light = Box(image, [](const QColor& c) { return c == kWhite; });
  const QRect shadow = Box(image, [](const QColor& c) { return c == QColor(0, 0, 0); });
  ASSERT_FALSE(light.isEmpty());
  ASSERT_FALSE(shadow.isEmpty());
  // The shadow shows only where the light text does not cover it: right and below.
  EXPECT_EQ(shadow.right() - light.right(), 2);
  EXPECT_EQ(shadow.bottom() - light.bottom(), 2);
  // Still centred: the pair's middle is within a few pixels of the banner's.
  EXPECT_NEAR((light.left() + shadow.right()) / 2.0, 150, 3);
  EXPECT_NEAR((light.top() + shadow.bottom()) / 2.0, 20, 4);
}

TEST(TitleBannerTest, PaintsWhatRenderDraws) {
  TitleBanner banner;
  Colours(banner, kRed, kDarkGrey);
  banner.SetText("Telvan");
  banner.resize(240, 28);
  EXPECT_EQ(banner.Text(), "Telvan");
  const QImage painted = banner.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(painted, banner.Render(QSize(240, 28)));
}

}  // namespace
}  // namespace velmar
