#pragma once
#include <QAbstractButton>
#include <QColor>
#include <QString>
#include <functional>

namespace velmar {

// A text link: shows its caption in link colours, underlined while the mouse is over it, and
// opens its address (the url, or the caption when there is none) when clicked or when Enter
// is pressed and released on it. Space does nothing, so a link is never followed by accident
// while the user types.
class HyperlinkButton : public QAbstractButton {
  Q_OBJECT

 public:
  using Opener = std::function<bool(const QString& address)>;  // false: could not open

  static constexpr int kDefaultControlId = 1018;
  static const QColor kLinkColour;     // RGB(0, 0, 208)
  static const QColor kVisitedColour;  // RGB(128, 0, 128)

  explicit HyperlinkButton(QWidget* parent = nullptr);

  void SetUrl(const QString& url);  // empty clears it: the caption is the address then
  QString Url() const { return url_; }
  // The address a click opens.
  QString Address() const;
  void SetToolTip(const QString& text);  // empty: the address (url, else caption)
  // Resizes to the caption measured in the application's default font, keeping the position.
  void SizeToContent();
  void SetOpener(Opener opener);  // default: QDesktopServices::openUrl
  void SetControlId(int id) { control_id_ = id; }
  int ControlId() const { return control_id_; }

  bool Visited() const { return visited_; }
  bool Hovering() const { return hovering_; }
  bool KeyDown() const { return key_down_; }
  // The colour the caption is painted in now.
  QColor TextColour() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // Opening the address failed; carries the button's control id.
  void linkOpenFailed(int controlId);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Follow();

  QString url_;
  Opener opener_;
  int control_id_ = kDefaultControlId;
  bool hovering_ = false;
  bool visited_ = false;
  bool key_down_ = false;
};

}  // namespace velmar
