#include "Win32Window.h"

#include <commctrl.h>
#include <shellapi.h>

#include "HyperlinkButton.h"
#include "TitleBanner.h"
#include "UiText.h"
#include "Win32Resources.h"
#include "app/ControlIds.h"
#include "app/Strings.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {

constexpr UINT kTrayMessage = WM_APP + 10;
constexpr UINT kTrayId = 1;

void SetItemText(HWND dialog, int id, int string_id) {
  SetDlgItemTextW(dialog, id, UiText(string_id).c_str());
}

HICON LoadAppIcon(HINSTANCE instance, int metric_x, int metric_y) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VELMAR), IMAGE_ICON,
                                       GetSystemMetrics(metric_x), GetSystemMetrics(metric_y), 0));
}

}  // namespace

Win32Window::Win32Window(Commands commands) : commands_(std::move(commands)) {}

Win32Window::~Win32Window() {
  if (tray_added_) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = dialog_;
    data.uID = kTrayId;
    Shell_NotifyIconW(NIM_DELETE, &data);
  }
  link_.reset();
  if (dialog_) DestroyWindow(dialog_);
  if (icon_large_) DestroyIcon(icon_large_);
  if (icon_small_) DestroyIcon(icon_small_);
}

bool Win32Window::Create(HINSTANCE instance) {
  instance_ = instance;
  TitleBanner::Register(instance);
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  dialog_ = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, &Win32Window::DialogProc,
                               reinterpret_cast<LPARAM>(this));
  return dialog_ != nullptr;
}

HWND Win32Window::Control(int id) const {
  if (id == control::kStatusLog) return page_ ? GetDlgItem(page_, id) : nullptr;
  return GetDlgItem(dialog_, id);
}

TitleBanner* Win32Window::Banner() const {
  HWND banner = GetDlgItem(dialog_, control::kBanner);
  return banner ? TitleBanner::Of(banner) : nullptr;
}

void Win32Window::SetTexts() {
  SetWindowTextW(dialog_, UiText(kStrWindowTitle).c_str());
  SetItemText(dialog_, control::kSerialCaption, kStrSerialCaption);
  SetItemText(dialog_, control::kSerialNumber, kStrNoSerialNumber);
  SetItemText(dialog_, IDC_SOFTWARE_CAPTION, kStrSoftwareCaption);
  SetItemText(dialog_, IDC_AVAILABLE_CAPTION, kStrAvailableCaption);
  SetItemText(dialog_, control::kPrintSensorInfo, kStrPrintSensorButton);
  SetItemText(dialog_, control::kSettings, kStrSettingsButton);
  SetItemText(dialog_, control::kDownloadPercent, kStrZeroPercent);
  SetItemText(dialog_, control::kTransferPercent, kStrZeroPercent);
  SetItemText(dialog_, IDC_WEB_CAPTION, kStrWebCaption);
  SetItemText(dialog_, control::kHide, kStrHideButton);
  SetItemText(dialog_, control::kUpdateDevice, kStrUpdateButton);
  SetItemText(dialog_, control::kUpdateOptionsOnly, kStrOptionsOnlyButton);
  SetItemText(dialog_, control::kExit, kStrExitButton);
}

void Win32Window::Initialise() {
  SetTexts();

  HMENU system = GetSystemMenu(dialog_, FALSE);
  const std::wstring about = UiText(kStrAboutMenu);
  if (system && !about.empty()) {
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING, IDM_ABOUT, about.c_str());
  }
  icon_large_ = LoadAppIcon(instance_, SM_CXICON, SM_CYICON);
  icon_small_ = LoadAppIcon(instance_, SM_CXSMICON, SM_CYSMICON);
  SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_large_));
  SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_));

  SendDlgItemMessageW(dialog_, control::kDownloadBar, PBM_SETRANGE32, 0, 100);
  SendDlgItemMessageW(dialog_, control::kTransferBar, PBM_SETRANGE32, 0, 100);

  link_ = std::make_unique<HyperlinkButton>(GetDlgItem(dialog_, control::kLinkButton), commands_.open_address);

  // The "Report" and "History" tabs and their pages, laid exactly over the page frame.
  HWND tabs = GetDlgItem(dialog_, control::kTabStrip);
  int index = 0;
  for (int text : {kStrReportTab, kStrHistoryTab}) {
    std::wstring caption = UiText(text);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tabs, TCM_INSERTITEMW, index++, reinterpret_cast<LPARAM>(&item));
  }
  RECT frame;
  GetWindowRect(GetDlgItem(dialog_, IDC_PAGE_FRAME), &frame);
  MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&frame), 2);
  page_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_REPORT_PAGE), dialog_, &Win32Window::PageProc, 0);
  if (page_) {
    SetWindowPos(page_, HWND_TOP, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_SHOWWINDOW);
  }
  CreateHistoryPage(frame);
  SendMessageW(tabs, TCM_SETCURSEL, 0, 0);
  AddTrayIcon();
}

void Win32Window::CreateHistoryPage(const RECT& frame) {
  history_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                             WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER, frame.left,
                             frame.top, frame.right - frame.left, frame.bottom - frame.top, dialog_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_HISTORY_LIST)), instance_, nullptr);
  if (!history_) return;
  SendMessageW(history_, WM_SETFONT, SendMessageW(dialog_, WM_GETFONT, 0, 0), FALSE);
  SendMessageW(history_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  int column = 0;
  for (int text : {kStrHistoryDate, kStrHistorySerial, kStrHistoryVersions, kStrHistoryOutcome, kStrHistoryReported}) {
    std::wstring caption = UiText(text);
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT | LVCF_WIDTH;
    header.cx = 80;
    header.pszText = caption.data();
    SendMessageW(history_, LVM_INSERTCOLUMNW, column++, reinterpret_cast<LPARAM>(&header));
  }
  SetWindowPos(history_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Win32Window::ShowPage(int tab) {
  if (page_) ShowWindow(page_, tab == 0 ? SW_SHOW : SW_HIDE);
  if (!history_) return;
  if (tab == 1) RefreshHistory();
  ShowWindow(history_, tab == 1 ? SW_SHOW : SW_HIDE);
}

void Win32Window::SelectTab(int tab) {
  SendDlgItemMessageW(dialog_, control::kTabStrip, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
  ShowPage(tab);
}

void Win32Window::RefreshHistory() {
  if (!history_) return;
  const std::vector<HistoryRecord> records = history_source_ ? history_source_() : std::vector<HistoryRecord>();
  SendMessageW(history_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(history_, LVM_DELETEALLITEMS, 0, 0);
  int row = 0;
  for (const HistoryRecord& record : records) {
    std::wstring reported;
    if (record.report == ReportState::Sent) reported = UiText(kStrReportSent);
    if (record.report == ReportState::Pending || record.report == ReportState::Sending)
      reported = UiText(kStrReportPending);
    std::wstring texts[] = {Widen(record.time), Widen(record.serial),
                            Widen(record.version_before + " \u2192 " + record.version_after), Widen(record.outcome),
                            reported};
    for (int column = 0; column < 5; ++column) {
      std::wstring& text = texts[column];
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.iSubItem = column;
      item.pszText = text.data();
      SendMessageW(history_, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, column == 0 ? 0 : row,
                   reinterpret_cast<LPARAM>(&item));
    }
    ++row;
  }
  for (int column = 0; column < 5; ++column)
    SendMessageW(history_, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
  SendMessageW(history_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(history_, nullptr, TRUE);
}

bool Win32Window::AddTrayIcon() {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = dialog_;
  data.uID = kTrayId;
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon_small_;
  lstrcpynW(data.szTip, UiText(kStrTrayTip).c_str(), static_cast<int>(std::size(data.szTip)));
  tray_added_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  return tray_added_;
}

void Win32Window::ShowTrayMenu() {
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, IDM_TRAY_MAXIMIZE, UiText(kStrTrayMaximize).c_str());
  AppendMenuW(menu, MF_STRING, IDM_TRAY_EXIT, UiText(kStrTrayExit).c_str());
  POINT at;
  GetCursorPos(&at);
  // Foreground first and a null message after, or the menu stays open when the user clicks
  // elsewhere.
  SetForegroundWindow(dialog_);
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, dialog_, nullptr);
  PostMessageW(dialog_, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

void Win32Window::ShowAbout() {
  DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_ABOUT), dialog_,
                  [](HWND box, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
                    if (message == WM_INITDIALOG) {
                      SetWindowTextW(box, UiText(kStrAboutTitle).c_str());
                      SetDlgItemTextW(box, IDC_ABOUT_TEXT, UiText(kStrWindowTitle).c_str());
                      return TRUE;
                    }
                    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
                      EndDialog(box, LOWORD(wparam));
                      return TRUE;
                    }
                    return FALSE;
                  },
                  0);
}

void Win32Window::Show(bool visible) {
  if (visible) {
    ShowWindow(dialog_, IsIconic(dialog_) || !IsWindowVisible(dialog_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(dialog_);
  } else if (tray_added_) {
    ShowWindow(dialog_, SW_HIDE);
  } else {
    ShowWindow(dialog_, SW_MINIMIZE);
  }
}

INT_PTR CALLBACK Win32Window::PageProc(HWND, UINT message, WPARAM wparam, LPARAM) {
  // Enter and Escape do nothing in a page.
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) return TRUE;
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

INT_PTR CALLBACK Win32Window::DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<Win32Window*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    self->dialog_ = dialog;
    self->Initialise();
    return TRUE;
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self ? self->Handle(message, wparam, lparam) : FALSE;
}

INT_PTR Win32Window::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  auto run = [](const std::function<void()>& command) {
    if (command) command();
  };
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case control::kHide: run(commands_.hide); return TRUE;
        case control::kExit: run(commands_.exit); return TRUE;
        case control::kUpdateDevice: run(commands_.update_device); return TRUE;
        case control::kUpdateOptionsOnly: run(commands_.update_options_only); return TRUE;
        case control::kSettings: run(commands_.settings); return TRUE;
        case control::kPrintSensorInfo: run(commands_.print_sensor_info); return TRUE;
        case control::kLinkButton:
          if (HIWORD(wparam) == BN_CLICKED && link_) link_->Click();
          return TRUE;
        case IDM_TRAY_MAXIMIZE: Show(true); return TRUE;
        case IDM_TRAY_EXIT: SendMessageW(dialog_, WM_CLOSE, 0, 0); return TRUE;
        default: return FALSE;
      }
    case WM_DRAWITEM:
      if (wparam == static_cast<WPARAM>(control::kLinkButton) && link_) {
        link_->Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return TRUE;
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == IDM_ABOUT) {
        ShowAbout();
        return TRUE;
      }
      if ((wparam & 0xFFF0) == SC_MINIMIZE && tray_added_) {
        run(commands_.hide);
        SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      if (!close_allowed_) run(commands_.close_request);
      return TRUE;
    case WM_QUERYENDSESSION:
      // Never holds up a logoff or a shutdown, not even during an update.
      SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_ENDSESSION:
      // The process may be ended as soon as this returns: everything that must last is
      // written before.
      if (wparam) run(commands_.end_session);
      return TRUE;
    case kTrayMessage:
      switch (LOWORD(lparam)) {
        case WM_RBUTTONUP: ShowTrayMenu(); break;
        case WM_LBUTTONDBLCLK: Show(true); break;
        default: break;  // balloon notifications and the rest: nothing to do
      }
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom == static_cast<UINT_PTR>(control::kTabStrip) && header->code == TCN_SELCHANGE) {
        ShowPage(static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
        return TRUE;
      }
      return FALSE;
    }
    case WM_CTLCOLORSTATIC:
      return FALSE;
    default:
      if (message == taskbar_created_ && taskbar_created_ != 0) {
        // The shell restarted: the icon has to be added again.
        AddTrayIcon();
        return TRUE;
      }
      return FALSE;
  }
}

}  // namespace velmar
