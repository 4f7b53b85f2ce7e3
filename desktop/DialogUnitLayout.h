#pragma once
#include <QFont>
#include <QLayout>
#include <QRect>
#include <QSize>
#include <vector>

namespace velmar {

// Dialog units of a font: x units are a quarter of the font's average character width, y
// units an eighth of its height, so a layout drawn in them keeps its proportions whatever the
// font and the screen's scale.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int units) const;
  int Y(int units) const;
  QRect Rect(int x, int y, int width, int height) const;
  QSize Size(int width, int height) const;

 private:
  double base_x_;
  int base_y_;
};

// Places each widget at its rectangle of a fixed layout drawn in dialog units (x, y, width,
// height, as a dialog template gives them). The layout's own size is its natural size and the
// minimum; a larger window stretches every rectangle by the same factors, so the arrangement
// stays as drawn and the status log and bars grow with the window.
class DialogUnitLayout : public QLayout {
 public:
  // `width` by `height` dialog units, measured in the parent's font.
  DialogUnitLayout(QWidget* parent, int width, int height);
  ~DialogUnitLayout() override;

  // Adds a widget (made a child of the parent) at its rectangle in dialog units.
  void Place(QWidget* widget, int x, int y, int width, int height);

  // Where a placed widget was put as drawn, before its text was let run on to the right (an
  // invalid rectangle for a widget this layout does not place).
  QRect DrawnGeometry(const QWidget* widget) const;

  // QLayout.
  void addItem(QLayoutItem* item) override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  int count() const override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect& rect) override;

 private:
  struct Entry {
    QLayoutItem* item;
    QRect units;
    QRect drawn;  // in pixels, at the last setGeometry
  };
  QSize NaturalSize() const;

  int width_units_;
  int height_units_;
  std::vector<Entry> entries_;
};

}  // namespace velmar
