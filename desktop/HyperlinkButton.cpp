#include "HyperlinkButton.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QUrl>

namespace velmar {

const QColor HyperlinkButton::kLinkColour(0, 0, 208);
const QColor HyperlinkButton::kVisitedColour(128, 0, 128);

namespace {

bool OpenWithDesktop(const QString& address) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

HyperlinkButton::HyperlinkButton(QWidget* parent)
    : QAbstractButton(parent), opener_(OpenWithDesktop) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_Hover);
  connect(this, &QAbstractButton::clicked, this, &HyperlinkButton::Follow);
}

void HyperlinkButton::SetUrl(const QString& url) { url_ = url; }

QString HyperlinkButton::Address() const { return url_.isEmpty() ? text() : url_; }

void HyperlinkButton::SetToolTip(const QString& text) {
  setToolTip(text.isEmpty() ? Address() : text);
}

void HyperlinkButton::SizeToContent() {
  // The application's default font, not the button's: the button's size then matches the
  // layout's measure whatever font a caller gave the button.
  const QFontMetrics metrics(QApplication::font());
  resize(metrics.size(Qt::TextSingleLine, text()));
}

void HyperlinkButton::SetOpener(Opener opener) {
  opener_ = opener ? std::move(opener) : Opener(OpenWithDesktop);
}

QColor HyperlinkButton::TextColour() const {
  if (!isEnabled()) return palette().color(QPalette::Disabled, QPalette::WindowText);
  if (hovering_) return palette().color(QPalette::Active, QPalette::Highlight);
  return visited_ ? kVisitedColour : kLinkColour;
}

QSize HyperlinkButton::sizeHint() const {
  return fontMetrics().size(Qt::TextSingleLine, text()) + QSize(2, 2);
}

QSize HyperlinkButton::minimumSizeHint() const { return sizeHint(); }

bool HyperlinkButton::event(QEvent* event) {
  // Keys are taken before the button's own handling, which would click on space. A disabled
  // link takes no input at all.
  if (!isEnabled()) return QAbstractButton::event(event);
  switch (event->type()) {
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (IsEnter(key) || key == Qt::Key_Space) {
        key_down_ = true;
        event->accept();
        return true;
      }
      key_down_ = false;
      break;
    }
    case QEvent::KeyRelease: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Space) {
        event->accept();
        return true;
      }
      if (IsEnter(key) && key_down_) {
        key_down_ = false;
        event->accept();
        click();  // does nothing while disabled
        return true;
      }
      key_down_ = false;
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::FocusOut:
      key_down_ = false;
      break;
    default:
      break;
  }
  return QAbstractButton::event(event);
}

void HyperlinkButton::Follow() {
  if (!isEnabled()) return;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const bool opened = opener_(Address());
  if (!opened) emit linkOpenFailed(control_id_);
  visited_ = true;
  hovering_ = false;
  repaint();
  QGuiApplication::restoreOverrideCursor();
}

void HyperlinkButton::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter painter(this);
  if (hasFocus()) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
  }
  QFont font = this->font();
  if (isEnabled() && hovering_) font.setUnderline(true);
  painter.setFont(font);
  painter.setPen(TextColour());
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text());
}

void HyperlinkButton::enterEvent(QEnterEvent* event) {
  hovering_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void HyperlinkButton::leaveEvent(QEvent* event) {
  hovering_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void HyperlinkButton::focusOutEvent(QFocusEvent* event) {
  update();
  QAbstractButton::focusOutEvent(event);
}

}  // namespace velmar
