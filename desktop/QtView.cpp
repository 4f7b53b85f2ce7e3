#include "QtView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTabWidget>
#include <QUrl>

#include "BootModeCautionBox.h"
#include "DesktopWindow.h"
#include "ProxyLoginDialog.h"
#include "SensorReportViewer.h"
#include "SettingsDialogWidget.h"
#include "UiText.h"
#include "app/Strings.h"

namespace velmar {

namespace {

// Message texts use the line ends of their origin; Qt wants plain "\n".
QString BoxText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return shown;
}

}  // namespace

QtView::QtView(DesktopWindow& window) : window_(window) {}

QtView::~QtView() {
  if (viewer_) delete viewer_.data();
}

void QtView::SetText(int control, const std::string& text) {
  window_.SetControlText(control, QString::fromStdString(text));
}

void QtView::SetProgress(int control, int position) { window_.SetProgress(control, position); }

void QtView::SetEnabled(int control, bool enabled) {
  if (QWidget* widget = window_.Control(control)) widget->setEnabled(enabled);
}

void QtView::SetBanner(const BannerLook& look) { window_.SetBanner(look); }

void QtView::SetStatusLog(const std::string& text) {
  window_.SetStatusLog(QString::fromStdString(text));
}

void QtView::SelectFirstTab() { window_.Tabs().setCurrentIndex(0); }

void QtView::ShowWindow(bool visible) { window_.ShowWindow(visible); }

bool QtView::AskYesNo(const std::string& text, MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), window_.windowTitle(), BoxText(text),
                  QMessageBox::Yes | QMessageBox::No, &window_);
  return box.exec() == QMessageBox::Yes;
}

void QtView::ShowMessage(const std::string& text, MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), window_.windowTitle(), BoxText(text), QMessageBox::Ok, &window_);
  box.exec();
}

void QtView::ShowBootModeCaution() {
  BootModeCautionBox box(&window_);
  box.exec();
}

std::optional<ProxyLogin> QtView::AskProxyLogin() { return ProxyLoginDialog::Ask(&window_); }

void QtView::RunSettingsDialog(SettingsDialog& dialog) {
  SettingsDialogWidget widget(dialog, &window_);
  widget.exec();
}

void QtView::ShowSensorReport(const std::string& path) {
  // One report at a time: showing it again closes the one shown before.
  if (viewer_) delete viewer_.data();
  viewer_ = new SensorReportViewer(QString::fromStdString(path));
  viewer_->show();
}

SensorReportViewer* QtView::ReportViewer() const { return viewer_.data(); }

bool QtView::OpenAddress(const std::string& address) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(address)));
}

void QtView::Beep() { QApplication::beep(); }

void QtView::HistoryChanged() { window_.RefreshHistory(); }

}  // namespace velmar
