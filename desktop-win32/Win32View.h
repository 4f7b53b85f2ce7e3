#pragma once
#include <windows.h>

#include "app/View.h"

namespace velmar {

class Win32Window;

// The window logic's View on Windows: texts, bars, enabling and the banner go to the main
// dialog's controls; questions and boxes are the system's modal message boxes and dialogs,
// whose own loops keep delivering the workers' posts. The sensor report opens in Notepad.
class Win32View : public View {
 public:
  explicit Win32View(Win32Window& window);
  ~Win32View() override;
  Win32View(const Win32View&) = delete;
  Win32View& operator=(const Win32View&) = delete;

  void SetText(int control, const std::string& text) override;
  void SetProgress(int control, int position) override;
  void SetEnabled(int control, bool enabled) override;
  void SetBanner(const BannerLook& look) override;
  void SetStatusLog(const std::string& text) override;
  void SelectFirstTab() override;
  void HistoryChanged() override;
  void ShowWindow(bool visible) override;

  bool AskYesNo(const std::string& text, MessageIcon icon) override;
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  void ShowBootModeCaution() override;
  std::optional<ProxyLogin> AskProxyLogin() override;
  void RunSettingsDialog(SettingsDialog& dialog) override;
  void ShowSensorReport(const std::string& path) override;
  bool OpenAddress(const std::string& address) override;
  void Beep() override;

 private:
  void CloseReportViewer();

  Win32Window& window_;
  HANDLE notepad_ = nullptr;
};

}  // namespace velmar
