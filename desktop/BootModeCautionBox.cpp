#include "BootModeCautionBox.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStringList>

#include "Artwork.h"
#include "DialogUnitLayout.h"
#include "UiText.h"
#include "app/Strings.h"

namespace velmar {

namespace {

// The tool's screen in boot mode: light lines on a dark display.
class ToolScreen : public QWidget {
 public:
  ToolScreen(const QStringList& lines, QWidget* parent) : QWidget(parent), lines_(lines) {
    setObjectName("screen");
    setAccessibleDescription(lines_.join('\n'));
  }
  const QStringList& Lines() const { return lines_; }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(QColor(12, 13, 15), 1));
    painter.setBrush(QColor(40, 43, 49));
    painter.drawRoundedRect(outer, 6, 6);
    const QRectF display = outer.adjusted(5, 5, -5, -5);
    QLinearGradient glow(display.topLeft(), display.bottomLeft());
    glow.setColorAt(0, QColor(22, 48, 60));
    glow.setColorAt(1, QColor(10, 26, 34));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawRoundedRect(display, 3, 3);

    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const int rows = std::max<int>(1, static_cast<int>(lines_.size()));
    font.setPixelSize(std::max(8, static_cast<int>(display.height() / (rows + 0.8))));
    painter.setFont(font);
    painter.setPen(QColor(150, 226, 255));
    const qreal row_height = display.height() / rows;
    for (int row = 0; row < lines_.size(); ++row) {
      const QRectF line(display.left(), display.top() + row * row_height, display.width(),
                        row_height);
      painter.drawText(line, Qt::AlignCenter | Qt::TextSingleLine, lines_[row]);
    }
  }

 private:
  QStringList lines_;
};

// One key picture, drawn at the size the layout gives it.
class KeyView : public QWidget {
 public:
  KeyView(int which, QWidget* parent) : QWidget(parent), which_(which) {
    setObjectName(QStringLiteral("key%1").arg(which));
  }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    const int side = std::min(width(), height());
    const QPixmap key = KeyPicture(which_, QSize(side, side));
    painter.drawPixmap((width() - side) / 2, (height() - side) / 2, key);
  }

 private:
  int which_;
};

}  // namespace

BootModeCautionBox::BootModeCautionBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(UiText(kStrBootModeTitle));
  auto* layout = new DialogUnitLayout(this, kWidthUnits, kHeightUnits);

  auto* steps = new QLabel(UiText(kStrBootModeSteps).replace(QStringLiteral("\r\n"), "\n"), this);
  steps->setObjectName("steps");
  steps->setWordWrap(true);
  steps->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->Place(steps, 7, 5, 166, 54);

  // The power key (switch off), then the key to hold and the key to press with it.
  layout->Place(new KeyView(0, this), 14, 61, 36, 24);
  layout->Place(new KeyView(1, this), 72, 61, 36, 24);
  auto* plus = new QLabel(QStringLiteral("+"), this);
  plus->setAlignment(Qt::AlignCenter);
  layout->Place(plus, 110, 67, 18, 12);
  layout->Place(new KeyView(2, this), 130, 61, 36, 24);

  const QStringList lines =
      UiText(kStrBootModeScreen).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  layout->Place(new ToolScreen(lines, this), 30, 90, 120, 42);

  auto* ok = new QPushButton(UiText(kStrOkButton), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  layout->Place(ok, 65, 142, 50, 16);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace velmar
