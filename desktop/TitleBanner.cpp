#include "TitleBanner.h"

#include <QFont>
#include <QPainter>
#include <QPalette>

namespace velmar {

namespace {

// One channel of band `band`: whole steps of (to - from) / (bands - 1), truncated, so the
// bands keep equal steps even when the last one falls a little short of `to`.
int BandChannel(int from, int to, int band) {
  const int step = (to - from) / (TitleBanner::kBands - 1);
  return from + step * band;
}

}  // namespace

TitleBanner::TitleBanner(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TitleBanner::SetText(const QString& text) {
  text_ = text;
  update();
}

void TitleBanner::SetGradientFrom(const QColor& colour) {
  from_ = colour;
  update();
}

void TitleBanner::SetGradientTo(const QColor& colour) {
  to_ = colour;
  update();
}

void TitleBanner::SetTextColor(const QColor& colour) {
  text_colour_ = colour;
  update();
}

QString TitleBanner::Text() const { return text_; }

QImage TitleBanner::Render(const QSize& size, qreal pixel_ratio) const {
  // On a high-density screen the image has that many more pixels; the drawing stays in the
  // widget's own units, so the bands are the same and the text is sharp.
  const qreal ratio = pixel_ratio > 0 ? pixel_ratio : 1.0;
  QImage image((QSizeF(size.expandedTo(QSize(1, 1))) * ratio).toSize(), QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  const QRect area(QPoint(0, 0), size);
  QPainter painter(&image);
  painter.fillRect(area, palette().color(QPalette::Active, QPalette::Highlight));

  const int width = area.width();
  const int band_width = width / kBands;
  for (int band = 0; band < kBands; ++band) {
    const int left = band * band_width;
    const int right = band == kBands - 1 ? width : left + band_width;
    if (right <= left) continue;
    const QColor colour(BandChannel(from_.red(), to_.red(), band),
                        BandChannel(from_.green(), to_.green(), band),
                        BandChannel(from_.blue(), to_.blue(), band));
    painter.fillRect(QRect(left, 0, right - left, area.height()), colour);
  }

  QFont font = this->font();
  font.setPixelSize(kTextPixelHeight);
  painter.setFont(font);
  const int flags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip;
  painter.setPen(Qt::black);
  painter.drawText(area, flags, text_);
  // The light text's box reaches 4 further left and up, which puts its centre, and so the
  // text, 2 up and left of the shadow.
  painter.setPen(text_colour_);
  painter.drawText(area.adjusted(-4, -4, 0, 0), flags, text_);
  return image;
}

QSize TitleBanner::sizeHint() const { return QSize(kBands * 8, kTextPixelHeight + 8); }

void TitleBanner::paintEvent(QPaintEvent* /*event*/) {
  // Drawn whole off screen and copied in one step, so the blinking warning never flickers.
  const QImage image = Render(size(), devicePixelRatioF());
  QPainter painter(this);
  painter.drawImage(0, 0, image);
}

}  // namespace velmar
