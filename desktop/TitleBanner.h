#pragma once
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

namespace velmar {

// The coloured line at the top of the main window: a left-to-right gradient in 60 bands with
// one line of centred text over a black shadow. The window sets the colours and the text and
// the banner repaints itself.
class TitleBanner : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kBands = 60;
  static constexpr int kTextPixelHeight = 24;

  explicit TitleBanner(QWidget* parent = nullptr);

  void SetText(const QString& text);
  void SetGradientFrom(const QColor& colour);
  void SetGradientTo(const QColor& colour);
  void SetTextColor(const QColor& colour);

  QString Text() const;
  QColor GradientFrom() const { return from_; }
  QColor GradientTo() const { return to_; }
  QColor TextColor() const { return text_colour_; }

  // What paintEvent copies to the screen: the banner drawn into an image of `size`.
  // `pixel_ratio`: device pixels per unit of `size` (above 1 on high-density screens).
  QImage Render(const QSize& size, qreal pixel_ratio = 1.0) const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  QColor from_{0, 255, 0};
  QColor to_{50, 50, 50};
  QColor text_colour_{255, 255, 255};
};

}  // namespace velmar
