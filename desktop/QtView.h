#pragma once
#include <QPointer>
#include <memory>

#include "app/View.h"

class QWidget;

namespace velmar {

class DesktopWindow;
class SensorReportViewer;

// The window logic's View on the desktop: texts, bars, enabling and the banner go to the
// DesktopWindow's widgets; questions and boxes are Qt's modal dialogs (their own nested loops
// keep the posts of the workers flowing). Tests derive from it to answer the questions.
class QtView : public View {
 public:
  explicit QtView(DesktopWindow& window);
  ~QtView() override;

  void SetText(int control, const std::string& text) override;
  void SetProgress(int control, int position) override;
  void SetEnabled(int control, bool enabled) override;
  void SetBanner(const BannerLook& look) override;
  void SetStatusLog(const std::string& text) override;
  void SelectFirstTab() override;
  void ShowWindow(bool visible) override;

  bool AskYesNo(const std::string& text, MessageIcon icon) override;
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  void ShowBootModeCaution() override;
  std::optional<ProxyLogin> AskProxyLogin() override;
  void RunSettingsDialog(SettingsDialog& dialog) override;
  void ShowSensorReport(const std::string& path) override;
  bool OpenAddress(const std::string& address) override;
  void Beep() override;
  void HistoryChanged() override;

  // The viewer of the last report shown, if it is still open.
  SensorReportViewer* ReportViewer() const;

 protected:
  DesktopWindow& Window() const { return window_; }

 private:
  DesktopWindow& window_;
  QPointer<SensorReportViewer> viewer_;
};

}  // namespace velmar
