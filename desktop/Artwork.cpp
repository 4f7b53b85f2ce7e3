#include "Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <algorithm>

namespace velmar {

namespace {

const QColor kAmber(242, 169, 0);
const QColor kBodyTop(62, 67, 76);
const QColor kBodyBottom(23, 25, 29);
const QColor kOutline(10, 11, 13);

QPixmap Transparent(const QSize& size) {
  QPixmap pixmap(size.expandedTo(QSize(1, 1)));
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// The largest rectangle of `ratio` (width / height) centred in `area`.
QRectF Fit(const QRectF& area, qreal ratio) {
  qreal width = area.width();
  qreal height = width / ratio;
  if (height > area.height()) {
    height = area.height();
    width = height * ratio;
  }
  return QRectF(area.center().x() - width / 2, area.center().y() - height / 2, width, height);
}

// Three arcs of a radio signal spreading from `origin` towards `direction_deg`.
void DrawSignal(QPainter& painter, const QPointF& origin, qreal radius, qreal direction_deg,
                const QColor& colour) {
  painter.save();
  painter.setBrush(Qt::NoBrush);
  for (int arc = 1; arc <= 3; ++arc) {
    const qreal r = radius * arc / 3.0;
    QColor c = colour;
    c.setAlphaF(1.0 - 0.22 * (arc - 1));
    painter.setPen(QPen(c, std::max(1.0, radius * 0.09), Qt::SolidLine, Qt::RoundCap));
    const QRectF box(origin.x() - r, origin.y() - r, 2 * r, 2 * r);
    painter.drawArc(box, qRound((direction_deg - 35) * 16), 70 * 16);
  }
  painter.restore();
}

// A tyre on its wheel, seen from the side, with the valve where the sensor sits.
void DrawTyre(QPainter& painter, const QPointF& centre, qreal radius) {
  painter.save();
  painter.setPen(Qt::NoPen);
  QRadialGradient rubber(centre, radius);
  rubber.setColorAt(0.75, QColor(48, 50, 55));
  rubber.setColorAt(1.0, QColor(20, 21, 24));
  painter.setBrush(rubber);
  painter.drawEllipse(centre, radius, radius);

  // Tread blocks around the rim of the tyre.
  painter.setBrush(QColor(14, 15, 17));
  const int blocks = 28;
  for (int i = 0; i < blocks; ++i) {
    painter.save();
    painter.translate(centre);
    painter.rotate(360.0 * i / blocks);
    painter.drawRoundedRect(QRectF(-radius * 0.045, -radius, radius * 0.09, radius * 0.1),
                            radius * 0.02, radius * 0.02);
    painter.restore();
  }

  const qreal rim = radius * 0.62;
  QLinearGradient metal(centre.x() - rim, centre.y() - rim, centre.x() + rim, centre.y() + rim);
  metal.setColorAt(0, QColor(236, 239, 243));
  metal.setColorAt(0.5, QColor(176, 183, 192));
  metal.setColorAt(1, QColor(120, 127, 137));
  painter.setBrush(metal);
  painter.setPen(QPen(QColor(70, 74, 80), std::max(1.0, radius * 0.02)));
  painter.drawEllipse(centre, rim, rim);

  // Five spokes: the dark openings between them.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(52, 56, 63));
  const QRectF outer(centre.x() - rim * 0.86, centre.y() - rim * 0.86, rim * 1.72, rim * 1.72);
  const QRectF inner(centre.x() - rim * 0.36, centre.y() - rim * 0.36, rim * 0.72, rim * 0.72);
  for (int i = 0; i < 5; ++i) {
    const qreal start = 90 + 72.0 * i + 14;
    const qreal sweep = 44;
    QPainterPath opening;
    opening.arcMoveTo(outer, start);
    opening.arcTo(outer, start, sweep);
    opening.arcTo(inner, start + sweep, -sweep);
    opening.closeSubpath();
    painter.drawPath(opening);
  }
  painter.setBrush(metal);
  painter.setPen(QPen(QColor(80, 84, 90), std::max(1.0, radius * 0.015)));
  painter.drawEllipse(centre, rim * 0.26, rim * 0.26);
  painter.setBrush(QColor(60, 64, 70));
  painter.drawEllipse(centre, rim * 0.08, rim * 0.08);

  // The valve stem at the rim, up and to the left.
  const qreal angle = qDegreesToRadians(-135.0);
  const QPointF valve(centre.x() + std::cos(angle) * rim * 0.98,
                      centre.y() + std::sin(angle) * rim * 0.98);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kAmber);
  painter.drawEllipse(valve, radius * 0.055, radius * 0.055);
  painter.restore();
}

// The handheld tool upright in `area`: dark body, amber antenna head, screen and keys.
void DrawTool(QPainter& painter, const QRectF& area) {
  const QRectF body = Fit(area, 0.6);
  const qreal w = body.width();
  const qreal h = body.height();
  const bool small = h < 40;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);

  // The antenna head over the top of the body.
  const QRectF head(body.left() + w * 0.18, body.top(), w * 0.64, h * 0.12);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kAmber.darker(115));
  painter.drawRoundedRect(head, w * 0.12, w * 0.12);

  const QRectF shell = body.adjusted(0, h * 0.05, 0, 0);
  QLinearGradient shade(shell.topLeft(), shell.bottomRight());
  shade.setColorAt(0, kBodyTop);
  shade.setColorAt(1, kBodyBottom);
  painter.setPen(QPen(kOutline, std::max(1.0, w * 0.025)));
  painter.setBrush(shade);
  painter.drawRoundedRect(shell, w * 0.16, w * 0.16);

  // A thin highlight along the left edge gives the shell some volume.
  if (!small) {
    painter.setPen(QPen(QColor(255, 255, 255, 40), w * 0.02));
    painter.drawLine(QPointF(shell.left() + w * 0.06, shell.top() + h * 0.12),
                     QPointF(shell.left() + w * 0.06, shell.bottom() - h * 0.12));
  }

  // The screen: a bezel and a lit display showing a tyre and its signal.
  const QRectF bezel(shell.left() + w * 0.1, shell.top() + h * 0.07, w * 0.8, h * 0.4);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(8, 9, 11));
  painter.drawRoundedRect(bezel, w * 0.06, w * 0.06);
  const QRectF display = bezel.adjusted(w * 0.05, w * 0.05, -w * 0.05, -w * 0.05);
  QLinearGradient lit(display.topLeft(), display.bottomLeft());
  lit.setColorAt(0, QColor(120, 205, 240));
  lit.setColorAt(1, QColor(40, 120, 175));
  painter.setBrush(lit);
  painter.drawRoundedRect(display, w * 0.03, w * 0.03);
  if (!small) {
    const qreal r = display.height() * 0.28;
    const QPointF tyre(display.left() + display.width() * 0.36, display.center().y() + r * 0.25);
    painter.setPen(QPen(QColor(12, 30, 45), std::max(1.0, r * 0.28)));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(tyre, r, r);
    painter.setPen(QPen(QColor(12, 30, 45), std::max(1.0, r * 0.14)));
    painter.drawEllipse(tyre, r * 0.4, r * 0.4);
    DrawSignal(painter, QPointF(tyre.x() + r * 0.6, tyre.y() - r * 0.6), r * 1.5, 45,
               QColor(255, 255, 255));
  }

  // Keys: a round pad with its centre key, two soft keys, a row of small keys.
  const QPointF pad(shell.center().x(), shell.top() + h * 0.66);
  const qreal pad_r = w * 0.17;
  QRadialGradient pad_shade(pad, pad_r);
  pad_shade.setColorAt(0, QColor(88, 94, 104));
  pad_shade.setColorAt(1, QColor(44, 48, 54));
  painter.setPen(QPen(kOutline, std::max(1.0, w * 0.015)));
  painter.setBrush(pad_shade);
  painter.drawEllipse(pad, pad_r, pad_r);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kAmber);
  painter.drawEllipse(pad, pad_r * 0.42, pad_r * 0.42);
  if (!small) {
    painter.setBrush(QColor(80, 86, 96));
    const QSizeF soft(w * 0.16, h * 0.045);
    painter.drawRoundedRect(QRectF(QPointF(shell.left() + w * 0.09, pad.y() - pad_r), soft),
                            soft.height() / 2, soft.height() / 2);
    painter.drawRoundedRect(
        QRectF(QPointF(shell.right() - w * 0.09 - soft.width(), pad.y() - pad_r), soft),
        soft.height() / 2, soft.height() / 2);
    for (int i = 0; i < 3; ++i) {
      const QRectF key(shell.left() + w * (0.16 + i * 0.24), shell.top() + h * 0.83, w * 0.2,
                       h * 0.055);
      painter.setBrush(i == 1 ? QColor(196, 60, 50) : QColor(80, 86, 96));
      painter.drawRoundedRect(key, key.height() / 2, key.height() / 2);
    }
  }
  painter.restore();
}

QPixmap IconPixmap(int side) {
  QPixmap pixmap = Transparent(QSize(side, side));
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal margin = side >= 32 ? side * 0.04 : 0;
  DrawTool(painter, QRectF(margin, margin, side - 2 * margin, side - 2 * margin));
  return pixmap;
}

}  // namespace

QIcon ApplicationIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(IconPixmap(side));
  return icon;
}

QPixmap ProductPicture(const QSize& size) {
  QPixmap pixmap = Transparent(size);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF area = Fit(QRectF(pixmap.rect()), 1.3);
  const qreal w = area.width();
  const qreal h = area.height();

  // The wheel behind, to the right; the tool in front, leaning towards its valve.
  const QPointF wheel(area.left() + w * 0.64, area.top() + h * 0.54);
  const qreal radius = h * 0.44;
  DrawTyre(painter, wheel, radius);

  painter.save();
  const QRectF tool(area.left() + w * 0.05, area.top() + h * 0.14, w * 0.4, h * 0.8);
  painter.translate(tool.center());
  painter.rotate(8);
  painter.translate(-tool.center());
  // A soft shadow under the tool lifts it off the wheel.
  const QRectF body = Fit(tool, 0.6);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 0, 50));
  const QRectF shadow = body.translated(w * 0.025, h * 0.02);
  painter.drawRoundedRect(shadow, shadow.width() * 0.16, shadow.width() * 0.16);
  DrawTool(painter, tool);
  // The tool's antenna calls the sensor in the wheel.
  DrawSignal(painter, QPointF(body.right() - body.width() * 0.2, body.top()), h * 0.13, 40, kAmber);
  painter.restore();
  return pixmap;
}

QPixmap KeyPicture(int which, const QSize& size) {
  QPixmap pixmap = Transparent(size);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF cap = Fit(QRectF(pixmap.rect()).adjusted(1, 1, -1, -1), 1.0);
  const qreal s = cap.width();

  QLinearGradient shade(cap.topLeft(), cap.bottomLeft());
  shade.setColorAt(0, QColor(104, 110, 120));
  shade.setColorAt(1, QColor(40, 44, 50));
  painter.setPen(QPen(kOutline, std::max(1.0, s * 0.04)));
  painter.setBrush(shade);
  painter.drawRoundedRect(cap, s * 0.22, s * 0.22);
  const QRectF face = cap.adjusted(s * 0.1, s * 0.08, -s * 0.1, -s * 0.14);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(70, 75, 84));
  painter.drawRoundedRect(face, s * 0.16, s * 0.16);

  const QPointF c = face.center();
  const qreal r = face.width() * 0.26;
  switch (which) {
    case 0: {  // power: a broken ring with a bar
      painter.setPen(
          QPen(QColor(235, 80, 64), std::max(1.5, s * 0.08), Qt::SolidLine, Qt::RoundCap));
      painter.setBrush(Qt::NoBrush);
      painter.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 120 * 16, 300 * 16);
      painter.drawLine(QPointF(c.x(), c.y() - r * 1.15), QPointF(c.x(), c.y() - r * 0.1));
      break;
    }
    case 1: {  // the key to hold: an upward arrow
      QPainterPath arrow;
      arrow.moveTo(c.x(), c.y() - r);
      arrow.lineTo(c.x() + r, c.y() + r * 0.7);
      arrow.lineTo(c.x() - r, c.y() + r * 0.7);
      arrow.closeSubpath();
      painter.setBrush(QColor(120, 205, 240));
      painter.drawPath(arrow);
      break;
    }
    default: {  // the key to press with it: the round enter key
      painter.setBrush(kAmber);
      painter.drawEllipse(c, r, r);
      painter.setBrush(QColor(70, 75, 84));
      painter.drawEllipse(c, r * 0.45, r * 0.45);
      break;
    }
  }
  return pixmap;
}

}  // namespace velmar
