#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

namespace velmar {

class HyperlinkButton;
class TitleBanner;

// The main window of velmar.exe: the modeless dialog IDD_MAIN with its "Report" page, the
// owner-drawn banner and link, the system menu's About entry and the tray icon. HIDE and
// minimising hide it into the tray, the close box and the tray's "Exit" ask the window logic
// first. Commands come out through the callbacks; what it shows comes in through Win32View.
class Win32Window {
 public:
  struct Commands {
    std::function<void()> hide, update_device, exit, settings, print_sensor_info, close_request,
        update_options_only;
    // The user's session is ending: whatever runs is cut off, the settings written first.
    std::function<void()> end_session;
    // The link's address opener (the view's, so the default action is one place).
    std::function<bool(const std::string&)> open_address;
  };

  explicit Win32Window(Commands commands);
  ~Win32Window();
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Makes the dialog (hidden), its page and its tray icon; false when the dialog could not be
  // made.
  bool Create(HINSTANCE instance);

  HWND Dialog() const { return dialog_; }
  // The window of a window-logic control id (the status log lives on the page).
  HWND Control(int id) const;
  TitleBanner* Banner() const;
  HyperlinkButton* Link() const { return link_.get(); }
  bool HasTray() const { return tray_added_; }

  // Shows the window (from the tray too) and brings it forward, or hides it into the tray; with
  // no tray to come back from, hiding minimises instead.
  void Show(bool visible);
  // Lets the next close request through (the window logic has ended the program).
  void AllowClose() { close_allowed_ = true; }
  // Where the "History" page reads its records, newest first; read again each time the page
  // is shown and at RefreshHistory.
  void SetHistorySource(std::function<std::vector<HistoryRecord>()> source) { history_source_ = std::move(source); }
  void RefreshHistory();
  // Selects a tab (0 "Report", 1 "History") and shows its page.
  void SelectTab(int tab);

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void Initialise();
  void SetTexts();
  bool AddTrayIcon();
  void ShowTrayMenu();
  void ShowAbout();
  void CreateHistoryPage(const RECT& frame);
  void ShowPage(int tab);

  Commands commands_;
  HINSTANCE instance_ = nullptr;
  HWND dialog_ = nullptr;
  HWND page_ = nullptr;
  HWND history_ = nullptr;
  std::function<std::vector<HistoryRecord>()> history_source_;
  HICON icon_large_ = nullptr;
  HICON icon_small_ = nullptr;
  std::unique_ptr<HyperlinkButton> link_;
  bool tray_added_ = false;
  bool close_allowed_ = false;
  UINT taskbar_created_ = 0;
};

}  // namespace velmar
