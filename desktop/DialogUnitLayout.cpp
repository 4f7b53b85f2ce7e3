#include "DialogUnitLayout.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <QWidgetItem>
#include <algorithm>
#include <cmath>

namespace velmar {

namespace {

// The layouts were drawn for a narrow bitmap font; the usual desktop fonts set the same text
// about a tenth wider against their average letter, so the x unit is widened to match.
constexpr double kWideFontAllowance = 1.15;

// The average width of the Latin letters, the measure dialog units are made of.
double AverageCharWidth(const QFontMetrics& metrics) {
  static const QString kLetters =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return std::max(1.0, metrics.horizontalAdvance(kLetters) / 52.0);
}

// Text that starts at the left of its rectangle may run on to the right when the font is wider
// than the one the layout was drawn with: captions, check boxes and links, never push buttons
// or centred values, whose rectangles are their look.
bool MayRunOn(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget))
    return !label->wordWrap() && (label->alignment() & Qt::AlignHCenter) == 0 &&
           (label->alignment() & Qt::AlignRight) == 0;
  if (qobject_cast<const QCheckBox*>(widget)) return true;
  return qobject_cast<const QAbstractButton*>(widget) && !qobject_cast<const QPushButton*>(widget);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  base_x_ = AverageCharWidth(metrics) * kWideFontAllowance;
  base_y_ = std::max(1, metrics.height());
}

int DialogUnits::X(int units) const { return static_cast<int>(std::lround(units * base_x_ / 4)); }
int DialogUnits::Y(int units) const { return (units * base_y_ + 4) / 8; }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return QRect(X(x), Y(y), X(width), Y(height));
}

QSize DialogUnits::Size(int width, int height) const { return QSize(X(width), Y(height)); }

DialogUnitLayout::DialogUnitLayout(QWidget* parent, int width, int height)
    : QLayout(parent), width_units_(width), height_units_(height) {
  setContentsMargins(0, 0, 0, 0);
}

DialogUnitLayout::~DialogUnitLayout() {
  for (Entry& entry : entries_) delete entry.item;
}

void DialogUnitLayout::Place(QWidget* widget, int x, int y, int width, int height) {
  addChildWidget(widget);
  entries_.push_back({new QWidgetItem(widget), QRect(x, y, width, height), QRect()});
  invalidate();
}

void DialogUnitLayout::addItem(QLayoutItem* item) {
  // Items without a rectangle have no place in a drawn layout; they stay out of sight.
  entries_.push_back({item, QRect(), QRect()});
}

QLayoutItem* DialogUnitLayout::itemAt(int index) const {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return nullptr;
  return entries_[static_cast<size_t>(index)].item;
}

QLayoutItem* DialogUnitLayout::takeAt(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return nullptr;
  QLayoutItem* item = entries_[static_cast<size_t>(index)].item;
  entries_.erase(entries_.begin() + index);
  return item;
}

QRect DialogUnitLayout::DrawnGeometry(const QWidget* widget) const {
  for (const Entry& entry : entries_)
    if (entry.item->widget() == widget) return entry.drawn;
  return QRect();
}

int DialogUnitLayout::count() const { return static_cast<int>(entries_.size()); }

QSize DialogUnitLayout::NaturalSize() const {
  const QWidget* parent = parentWidget();
  const DialogUnits units(parent ? parent->font() : QFont());
  return units.Size(width_units_, height_units_);
}

QSize DialogUnitLayout::sizeHint() const { return NaturalSize(); }
QSize DialogUnitLayout::minimumSize() const { return NaturalSize(); }

void DialogUnitLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  const QSize natural = NaturalSize();
  const double fx = natural.width() > 0 ? std::max(1.0, double(rect.width()) / natural.width()) : 1;
  const double fy =
      natural.height() > 0 ? std::max(1.0, double(rect.height()) / natural.height()) : 1;
  const QWidget* parent = parentWidget();
  const DialogUnits units(parent ? parent->font() : QFont());
  for (Entry& entry : entries_) {
    if (entry.units.isNull()) continue;
    const QRect at =
        units.Rect(entry.units.x(), entry.units.y(), entry.units.width(), entry.units.height());
    const int left = rect.x() + static_cast<int>(std::lround(at.x() * fx));
    const int top = rect.y() + static_cast<int>(std::lround(at.y() * fy));
    const int right = rect.x() + static_cast<int>(std::lround((at.x() + at.width()) * fx));
    const int bottom = rect.y() + static_cast<int>(std::lround((at.y() + at.height()) * fy));
    QRect placed(QPoint(left, top), QPoint(right - 1, bottom - 1));
    entry.drawn = placed;
    if (QWidget* widget = entry.item->widget(); widget && MayRunOn(widget))
      placed.setWidth(std::max(placed.width(), widget->sizeHint().width()));
    entry.item->setGeometry(placed);
  }
}

}  // namespace velmar
